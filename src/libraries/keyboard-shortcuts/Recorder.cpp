#include "libraries/keyboard-shortcuts/Recorder.h"

#include <QHBoxLayout>
#include <QLabel>

namespace KeyboardShortcuts {

Recorder::Recorder(const Name& name, RecorderCocoa::OnChange onChange, QWidget* parent)
    : QWidget(parent)
    , m_field(new RecorderCocoa(name, std::move(onChange), this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_field);
}

Recorder::Recorder(const QString& title, const Name& name, RecorderCocoa::OnChange onChange, QWidget* parent)
    : QWidget(parent)
    , m_label(new QLabel(title, this))
    , m_field(new RecorderCocoa(name, std::move(onChange), this))
{
    m_label->setBuddy(m_field);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_label);
    layout->addWidget(m_field);
    layout->addStretch();
}

} // namespace KeyboardShortcuts
