#pragma once

#include <QObject>

namespace Defaults {

// The signal side of Defaults::Observable, which cannot carry Q_OBJECT itself as a template.
// Main thread only.
class ObservableBase : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~ObservableBase() override;

signals:
    // The setting is about to change (a write through this object) or has changed (a write made
    // anywhere, announced on the main thread). Read the value again when it fires.
    void objectWillChange();
};

} // namespace Defaults
