#include "libraries/keyboard-shortcuts/RecorderCocoa.h"

#include "kit/foundation/Alert.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/interface/CarbonLocalEventMonitor.h"
#include "libraries/keyboard-shortcuts/KeyboardShortcuts.h"
#include "libraries/keyboard-shortcuts/ShortcutConflicts.h"

#include <QAction>
#include <QApplication>
#include <QFocusEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QProxyStyle>
#include <QTimer>
#include <QToolButton>

namespace KeyboardShortcuts {

namespace {

constexpr int nearbyMargin = 3;

// A recorder takes whole key combinations, never typed text: a blinking caret would invite typing.
class NoCaretStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        if (metric == PM_TextCursorWidth) {
            return 0;
        }
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

std::string plainTitle(const QAction& item)
{
    // "&Quit" shows as "Quit".
    QString title = item.text();
    title.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    title.remove(u'&');
    title.replace(u'\x01', u'&');
    return title.toStdString();
}

} // namespace

RecorderCocoa::RecorderCocoa(const Name& name, OnChange onChange, QWidget* parent)
    : QLineEdit(parent)
    , m_shortcutName(name)
    , m_onChange(std::move(onChange))
{
    setAlignment(Qt::AlignCenter);
    setClearButtonEnabled(true);
    // The clear button inside the field is read by its job, not as a nameless button.
    for (QToolButton* button : findChildren<QToolButton*>()) {
        button->setAccessibleName(QStringLiteral("Clear"));
    }
    // Reached by Tab as well as by a click: without a pointer it is the only way to record.
    setFocusPolicy(Qt::StrongFocus);
    setContextMenuPolicy(Qt::NoContextMenu);
    // It takes key combinations, never text: none typed through an input method, none dropped.
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setAcceptDrops(false);
    auto* style = new NoCaretStyle;
    style->setParent(this);
    setStyle(style);
    setMinimumWidth(minimumWidth);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    applyAvailability();
    connect(&ShortcutChangeNotifier::shared(), &ShortcutChangeNotifier::availabilityDidChange, this,
        &RecorderCocoa::applyAvailability);
    refreshFromStore();

    connect(this, &QLineEdit::textChanged, this, &RecorderCocoa::textWasChanged);
    m_observer = connect(&ShortcutChangeNotifier::shared(), &ShortcutChangeNotifier::shortcutByNameDidChange,
        this, [this](const Name& changed) {
            if (changed == m_shortcutName) {
                refreshFromStore();
            }
        });
}

RecorderCocoa::~RecorderCocoa()
{
    disconnect(m_observer);
    if (isRecording()) {
        m_eventMonitor.reset();
        setRecorderActive(false);
    }
}

QString RecorderCocoa::idlePlaceholder()
{
    return QStringLiteral("Record Shortcut");
}

QString RecorderCocoa::recordingPlaceholder()
{
    return QStringLiteral("Press Shortcut");
}

QString RecorderCocoa::unavailablePlaceholder()
{
    return QStringLiteral("Not Available");
}

QString RecorderCocoa::unavailableToolTip()
{
    return QStringLiteral("This desktop offers no global keyboard shortcuts to applications.");
}

QSize RecorderCocoa::sizeHint() const
{
    return { minimumWidth, QLineEdit::sizeHint().height() };
}

QSize RecorderCocoa::minimumSizeHint() const
{
    return sizeHint();
}

void RecorderCocoa::setShortcutName(const Name& name)
{
    if (name == m_shortcutName) {
        return;
    }
    m_shortcutName = name;
    refreshFromStore();
    QPointer<RecorderCocoa> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self) {
            self->endRecording();
        }
    });
}

void RecorderCocoa::applyAvailability()
{
    const bool available = areGlobalShortcutsAvailable();
    if (!available) {
        endRecording();
    }
    setEnabled(available);
    setPlaceholderText(available ? idlePlaceholder() : unavailablePlaceholder());
    setToolTip(available ? QString() : unavailableToolTip());
}

void RecorderCocoa::refreshFromStore()
{
    const std::optional<Shortcut> shortcut = getShortcut(m_shortcutName);
    setDisplayText(shortcut ? QString::fromStdString(shortcut->description()) : QString());
}

void RecorderCocoa::setDisplayText(const QString& text)
{
    m_settingText = true;
    setText(text);
    m_settingText = false;
}

bool RecorderCocoa::event(QEvent* event)
{
    // While recording every key is the recording's: a window's own shortcut (Settings' Ctrl+,)
    // must not take it first, or the key would be neither recorded nor refused.
    if (event->type() == QEvent::ShortcutOverride) {
        if (isRecording()) {
            event->accept();
            return true;
        }
        // Not recording, the field edits no text: the window's shortcuts (Ctrl+W) work from it as
        // from any other control.
        return QWidget::event(event);
    }
    return QLineEdit::event(event);
}

void RecorderCocoa::focusInEvent(QFocusEvent* event)
{
    // A field centred and focused hides its placeholder; "Press Shortcut" (or, focused but not
    // recording, "Record Shortcut") must show.
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QLineEdit::focusInEvent(event);
    // Recording starts where the user came to the field: a click, Tab or Shift+Tab, or the field
    // taking the focus back itself. The focus the window hands on by itself (to the first control
    // of a pane just shown, back here when the window is active again) starts none, or the next
    // key, the user's Ctrl+W to close the window, would become a global shortcut.
    const Qt::FocusReason reason = event->reason();
    const bool cameHere = reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason
        || reason == Qt::BacktabFocusReason || m_recordOnFocus;
    m_recordOnFocus = false;
    if (cameHere) {
        startRecording();
    }
}

void RecorderCocoa::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    setAlignment(Qt::AlignCenter);
    // An alert of our own takes the focus for a moment; recording resumes after it.
    endRecording();
}

void RecorderCocoa::mousePressEvent(QMouseEvent* event)
{
    QLineEdit::mousePressEvent(event);
    // A click into the field that already has the focus (handed to it by the window) records too.
    if (hasFocus() && !isRecording()) {
        startRecording();
    }
}

void RecorderCocoa::keyPressEvent(QKeyEvent* event)
{
    // While recording the event monitor has every key first; without it no key is text here.
    if (!isRecording()) {
        event->ignore();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void RecorderCocoa::startRecording()
{
    if (isRecording()) {
        return;
    }
    setPlaceholderText(recordingPlaceholder());
    setRecorderActive(true);
    QPointer<RecorderCocoa> self(this);
    using EventType = zk::CarbonLocalEventMonitor::EventType;
    // The keys the user presses are the recording's own: none reaches the field or anything else.
    m_eventMonitor = std::make_unique<zk::CarbonLocalEventMonitor>(
        std::set<EventType> {
            EventType::keyDown, EventType::keyRepeat, EventType::keyModifiersChanged, EventType::mouseUp },
        true, [self](QEvent* event) {
            if (!self || event->type() == QEvent::KeyRelease) {
                return false;
            }
            return self->handleEvent(event) == nullptr;
        });
    m_eventMonitor->start();
    // The whole keyboard while recording: a combination another application has taken reaches the
    // field too (and is refused with a reason) instead of going to that application unseen.
    grabKeyboard();
}

void RecorderCocoa::endRecording()
{
    if (!isRecording()) {
        return;
    }
    m_eventMonitor.reset();
    releaseKeyboard();
    setPlaceholderText(idlePlaceholder());
    setRecorderActive(false);
}

void RecorderCocoa::resumeRecording()
{
    if (hasFocus()) {
        startRecording();
        return;
    }
    // Where the window is not active yet (the alert still closing), the focus comes once it is.
    m_recordOnFocus = true;
    setFocus(Qt::OtherFocusReason);
}

void RecorderCocoa::moveFocusOn(bool forward)
{
    focusNextPrevChild(forward);
    // Nothing else in the window takes the focus: recording ends all the same.
    endRecording();
}

RecorderEvent RecorderCocoa::recorderEvent(QEvent* event) const
{
    RecorderEvent result;
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const auto* key = static_cast<const QKeyEvent*>(event);
        result.type = event->type() == QEvent::KeyPress ? RecorderEvent::Type::keyPress
                                                        : RecorderEvent::Type::keyRelease;
        result.qtKey = key->key();
        result.modifiers = key->modifiers();
        result.shortcut = Shortcut::fromEvent(event);
        break;
    }
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<const QMouseEvent*>(event);
        result.type = RecorderEvent::Type::mouseRelease;
        const QPoint local = mapFromGlobal(mouse->globalPosition().toPoint());
        result.isNearRecorder
            = rect().adjusted(-nearbyMargin, -nearbyMargin, nearbyMargin, nearbyMargin).contains(local);
        break;
    }
    default:
        break;
    }
    return result;
}

QEvent* RecorderCocoa::handleEvent(QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<const QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton && mouse->button() != Qt::RightButton) {
            return event;
        }
    }
    RecorderContext context;
    context.menuItemTitleUsing = [](const Shortcut& shortcut) -> std::optional<std::string> {
        QMenu* menu = applicationMenu();
        const QAction* item = menu ? menuItemUsingShortcut(*menu, shortcut) : nullptr;
        return item ? std::optional<std::string>(plainTitle(*item)) : std::nullopt;
    };
    context.isSystemReserved = isSystemReservedShortcut;
    const RecorderDecision decision = decideRecorderEvent(recorderEvent(event), context);
    // A click inside the field goes to it as usual (the clear button needs it).
    if (event->type() == QEvent::MouseButtonRelease && decision.action == RecorderDecision::Action::discard) {
        return event;
    }
    // Tab moves on from here, not from the start of the window, which is where the window would
    // take it from once the focus had been let go.
    if (event->type() == QEvent::KeyPress
        && decision.action == RecorderDecision::Action::endRecordingAndPass) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        moveFocusOn(key->key() == Qt::Key_Tab && !key->modifiers().testFlag(Qt::ShiftModifier));
        return nullptr;
    }
    applyDecision(decision);
    return decision.passesEvent() ? event : nullptr;
}

void RecorderCocoa::applyDecision(const RecorderDecision& decision)
{
    using Action = RecorderDecision::Action;
    switch (decision.action) {
    case Action::discard:
        return;
    case Action::endRecordingAndPass:
    case Action::endRecordingAndDiscard:
        // The focus stays here, where the user and a screen reader were, not on nothing.
        endRecording();
        return;
    case Action::clear:
        if (!text().isEmpty()) {
            clear();
        } else {
            textWasChanged(QString());
        }
        return;
    case Action::beep:
        QApplication::beep();
        return;
    case Action::menuConflict:
        showConflictAlert(menuConflictMessage(decision.menuItemTitle), std::nullopt);
        return;
    case Action::systemConflict:
        showConflictAlert(systemConflictMessage(),
            systemConflictInformativeText(qEnvironmentVariable("XDG_CURRENT_DESKTOP").toStdString()));
        return;
    case Action::record:
        setDisplayText(QString::fromStdString(decision.shortcut->description()));
        // Stored after the recording ends, so that its hot key is taken at once.
        endRecording();
        setShortcut(decision.shortcut, m_shortcutName);
        if (m_onChange) {
            m_onChange(decision.shortcut);
        }
        return;
    }
}

void RecorderCocoa::showConflictAlert(
    const std::string& message, const std::optional<std::string>& informativeText)
{
    endRecording();
    zk::AlertDescription description;
    description.title = message;
    description.message = informativeText;
    description.style = zk::AlertStyle::warning;
    QPointer<RecorderCocoa> self(this);
    zk::AlertPresenter::shared().present(
        zk::makeAlert(description),
        [self](int) {
            if (self) {
                self->resumeRecording();
            }
        },
        window());
}

void RecorderCocoa::textWasChanged(const QString& text)
{
    if (m_settingText || !text.isEmpty()) {
        return;
    }
    setShortcut(std::nullopt, m_shortcutName);
    if (m_onChange) {
        m_onChange(std::nullopt);
    }
    resumeRecording();
}

} // namespace KeyboardShortcuts
