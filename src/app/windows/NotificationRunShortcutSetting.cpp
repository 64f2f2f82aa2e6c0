#include "app/windows/NotificationRunShortcutSetting.h"

#include "app/engine/SettingsKeys.h"
#include "app/menubar/MenuBarController.h"
#include "app/reminders/AutomationPermission.h"
#include "app/windows/SecondaryText.h"
#include "app/windows/Truncating.h"
#include "kit/foundation/Alert.h"
#include "kit/foundation/AlertPresenter.h"
#include "kit/foundation/DiagnosticsSeam.h"
#include "kit/foundation/ZKApp.h"
#include "kit/foundation/core/FeedbackLink.h"
#include "kit/interface/AsyncButton.h"
#include "kit/interface/LinksLabel.h"
#include "kit/interface/Picker.h"
#include "kit/interface/SecondaryTextStyle.h"
#include "kit/interface/SymbolImage.h"
#include "kit/interface/TintedBox.h"
#include "kit/interface/UrlOpener.h"
#include "platform/Logger.h"
#include "platform/PrivateFiles.h"
#include "platform/async/TaskHandle.h"
#include "platform/desktop/ShortcutsFolder.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>

#include <filesystem>
#include <system_error>

namespace kiruvo {

namespace {

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

QToolButton* iconButton(const QString& title, std::string_view systemImage, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setText(title);
    button->setToolTip(title);
    button->setAccessibleName(title);
    const QIcon icon = zk::symbolIcon(systemImage);
    if (!icon.isNull()) {
        button->setIcon(icon);
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    }
    return button;
}

QString helpMarkdown()
{
    const std::string website = MenuBarController::websiteAddress;
    // The form gets the debug fields, as from the menu and the debug window.
    const std::string feedback = zk::feedbackPageURL(zk::ZKApp::name(), zk::feedbackMetadata());
    const QString text = QStringLiteral("[Example use-cases](") + fromStd(website)
        + QStringLiteral("#shortcuts-use-cases)\n[Let me know](") + fromStd(feedback)
        + QStringLiteral(") if you use it for something interesting\nTip: A script can run other scripts");
    // Each line on a line of its own.
    return QString(text).replace(QStringLiteral("\n"), QStringLiteral("  \n"));
}

} // namespace

NotificationRunShortcutSetting::Grouping NotificationRunShortcutSetting::groupByFolder(
    const std::vector<ShortcutsApp::Shortcut>& shortcuts)
{
    Grouping grouping;
    for (const auto& shortcut : shortcuts) {
        auto group = std::find_if(grouping.begin(), grouping.end(),
            [&](const auto& entry) { return entry.first == shortcut.folder; });
        if (group == grouping.end()) {
            grouping.emplace_back(shortcut.folder, std::vector<ShortcutsApp::Shortcut> {});
            group = std::prev(grouping.end());
        }
        group->second.push_back(shortcut);
    }
    return grouping;
}

NotificationRunShortcutSetting::NotificationRunShortcutSetting(
    SettingsEnvironment environment, QWidget* parent)
    : QWidget(parent)
    , m_environment(std::move(environment))
    , m_shortcutID(
          new Defaults::Observable<std::optional<platform::Uuid>>(Keys::notificationRunShortcut(), this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    auto* row = new QHBoxLayout;
    m_picker = new zk::Picker(tr("Run script:"), zk::Picker::Style::menu, this);
    // A long name must not make the row wider than the pane, and the row must never squeeze the
    // choice to a few letters: the pop-up keeps room for a name of readable length and elides longer
    // ones (the open menu shows them whole).
    m_picker->comboBox()->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_picker->comboBox()->setMinimumContentsLength(minimumShownCharacters);
    row->addWidget(m_picker, 1);
    m_buttons = new QWidget(this);
    auto* buttons = new QHBoxLayout(m_buttons);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(0);
    m_create = iconButton(tr("Create"), "plus", m_buttons);
    connect(m_create, &QToolButton::clicked, this, &NotificationRunShortcutSetting::createScript);
    buttons->addWidget(m_create);
    row->addWidget(m_buttons);
    layout->addLayout(row);

    m_keptNote = secondaryText(
        tr("The scripts folder could not be read completely, so your chosen script is kept."), this);
    m_keptNote->hide();
    layout->addWidget(m_keptNote);

    m_warning = new zk::TintedBox(6, this);
    auto* warning = new QHBoxLayout(m_warning);
    warning->setContentsMargins(8, 8, 8, 8);
    auto* message = new QWidget(m_warning);
    auto* messageRow = new QHBoxLayout(message);
    messageRow->setContentsMargins(0, 0, 0, 0);
    messageRow->setSpacing(6);
    auto* triangle = new QLabel(message);
    const QIcon icon = zk::symbolIcon("exclamationmark.triangle", 10);
    if (!icon.isNull()) {
        triangle->setPixmap(icon.pixmap(10, 10));
    }
    messageRow->addWidget(triangle);
    m_warningText = new QLabel(message);
    m_warningText->setWordWrap(true);
    messageRow->addWidget(m_warningText, 1);
    warning->addWidget(message, 1);
    m_grant = new QPushButton(m_warning);
    connect(m_grant, &QPushButton::clicked, this, &NotificationRunShortcutSetting::grantAccess);
    warning->addWidget(m_grant);
    QFont mini = m_warning->font();
    mini.setPointSizeF(mini.pointSizeF() * 9.0 / 13.0 * 1.2);
    m_warning->setFont(mini);
    m_warning->hide();
    layout->addWidget(m_warning);

    // Tab reaches each link and Return opens it; a screen reader reads the words.
    auto* help = new zk::LinksLabel(this);
    help->setWordWrap(true);
    zk::SecondaryTextStyleModifier().apply(*help);
    help->setMarkdown(helpMarkdown());
    m_help = help;
    // Through the desktop's opener, which says so when nothing opened the page.
    connect(m_help, &QLabel::linkActivated, this,
        [](const QString& link) { zk::UrlOpener::openOrTell(QUrl(link), "the page"); });
    m_help->setContentsMargins(0, 2, 0, 0);
    layout->addWidget(m_help);

    connect(m_picker, &zk::Picker::rowChosen, this, [this](int row) {
        if (row >= 0 && static_cast<std::size_t>(row) < m_tags.size()) {
            m_shortcutID->setValue(m_tags[static_cast<std::size_t>(row)]);
        }
    });
    connect(
        m_shortcutID, &Defaults::ObservableBase::objectWillChange, this, [this] { rebuild(); },
        Qt::QueuedConnection);
    rebuild();
}

NotificationRunShortcutSetting::~NotificationRunShortcutSetting() = default;

std::optional<platform::Uuid> NotificationRunShortcutSetting::shortcutID() const
{
    return m_shortcutID->value();
}

void NotificationRunShortcutSetting::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    startLoad(true);
}

void NotificationRunShortcutSetting::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isVisible()) {
        const bool controlActiveState = isActiveWindow();
        if (controlActiveState != m_controlActiveState) {
            m_controlActiveState = controlActiveState;
            refresh();
        }
    }
}

void NotificationRunShortcutSetting::refresh()
{
    if (m_isLoading) {
        return;
    }
    startLoad(false);
}

void NotificationRunShortcutSetting::startLoad(bool isAppearance)
{
    QPointer<NotificationRunShortcutSetting> self(this);
    platform::async::TaskHandle::start([self, isAppearance](std::stop_token) -> QCoro::Task<void> {
        if (self) {
            co_await self->load(isAppearance);
        }
    });
}

QCoro::Task<void> NotificationRunShortcutSetting::load(bool isAppearance)
{
    QPointer<NotificationRunShortcutSetting> self(this);
    const std::uint64_t generation = ++m_latestLoad;
    // Scripts need no service started first: the permission is whether the folder can be read.
    const auto status = co_await automationPermissionStatus(ShortcutsApp::eventsAgentBundleIdentifier, true);
    if (!self) {
        co_return;
    }
    const bool hasAccess = status == Permissions::Automation::Status::authorized;
    if (isAppearance) {
        m_isLoading = true;
        rebuild();
    }
    const auto outcome = co_await ShortcutsApp::validateChosenShortcut();
    if (!self) {
        co_return;
    }
    const SettingsEnvironment environment = m_environment;
    auto listed = co_await environment.shortcuts();
    if (!self) {
        co_return;
    }
    if (generation != m_latestLoad) {
        // A newer load has started; its results are the ones to show.
        co_return;
    }
    m_hasAccess = hasAccess;
    m_choiceUnconfirmed = outcome == ShortcutsApp::LookupOutcome::unavailable;
    m_shortcuts = groupByFolder(listed);
    if (isAppearance) {
        m_isLoading = false;
    }
    rebuild();
    emit loadFinished();
}

void NotificationRunShortcutSetting::rebuild()
{
    const auto current = shortcutID();
    const bool isEmpty = m_shortcuts.empty();

    m_picker->clearRows();
    m_tags.clear();
    const auto add
        = [this](const QString& text, std::optional<platform::Uuid> tag, std::function<QIcon()> icon = {}) {
              m_picker->addRow({ text, std::move(icon) });
              m_tags.push_back(std::move(tag));
          };
    bool listed = false;
    for (const auto& [folder, shortcuts] : m_shortcuts) {
        for (const auto& shortcut : shortcuts) {
            listed = listed || (current && shortcut.id == *current);
        }
    }
    if (m_isLoading) {
        add(tr("Loading…"), current);
    } else if (isEmpty) {
        add(tr("No Scripts"), current);
    } else if (current && !listed) {
        // Kept while its folder cannot be read: show it rather than pretend nothing is chosen.
        add(tr("Chosen script (not readable now)"), current);
    }
    add(tr("None"), std::nullopt);
    m_picker->addSeparator();
    for (const auto& [folder, shortcuts] : m_shortcuts) {
        if (folder) {
            m_picker->addSection(fromStd(folder->name));
        }
        for (const auto& shortcut : shortcuts) {
            add(truncating(fromStd(shortcut.name), titleLength, QStringLiteral("…")), shortcut.id,
                [icon = shortcut.icon] { return QIcon(icon.pixmap(16, 16)); });
        }
    }
    // The first row whose tag is the choice.
    std::optional<int> selected;
    for (std::size_t row = 0; row < m_tags.size(); ++row) {
        if (m_tags[row] == current) {
            selected = static_cast<int>(row);
            break;
        }
    }
    m_picker->setSelectedRow(selected);
    m_picker->setEnabled(!m_isLoading && !isEmpty);
    m_buttons->setEnabled(!(m_isLoading && isEmpty));
    if (!m_hasAccess) {
        // No access only ever means the scripts folder: not made yet (every fresh install), or made
        // but unreadable. Each case gets its own words and its own remedy.
        const auto root = platform::ShortcutsFolder::standardLocation();
        std::error_code error;
        const bool exists = std::filesystem::exists(root, error);
        m_warningText->setText(exists ? tr("Cannot read the scripts folder") : tr("No scripts folder yet"));
        m_grant->setText(exists ? tr("Open Folder") : tr("Create Folder"));
        m_warning->setToolTip(QString::fromStdString(root.string()));
    }
    m_warning->setVisible(!m_hasAccess);
    m_keptNote->setVisible(current && m_choiceUnconfirmed && !m_isLoading);
    rebuildButtons();
}

void NotificationRunShortcutSetting::rebuildButtons()
{
    const auto current = shortcutID();
    // A list loaded again for the same choice keeps the buttons, and so the focus on them.
    if (m_run && current == m_buttonsFor) {
        return;
    }
    delete m_run;
    delete m_edit;
    m_run = nullptr;
    m_edit = nullptr;
    m_buttonsFor = current;
    if (!current) {
        return;
    }
    const platform::Uuid id = *current;
    auto* layout = static_cast<QHBoxLayout*>(m_buttons->layout());
    m_run = new zk::AsyncButton(
        tr("Run"), "play.fill",
        { zk::AsyncButton::ActionOption::disableButton, zk::AsyncButton::ActionOption::showSpinner },
        [id]() -> QCoro::Task<void> { co_await ShortcutsApp::runShortcut(id, std::nullopt); }, m_buttons);
    m_run->setFlat(true);
    // Icon only, as every button of the group; the title stays its tool tip and its name for
    // screen readers.
    m_run->setAccessibleName(m_run->text());
    if (!m_run->icon().isNull()) {
        m_run->setText(QString());
    }
    m_edit = iconButton(tr("Edit"), "slider.horizontal.3", m_buttons);
    connect(m_edit, &QToolButton::clicked, this, [id] {
        platform::async::TaskHandle::start(
            [id](std::stop_token) -> QCoro::Task<void> { co_await ShortcutsApp::openShortcut(id); });
    });
    layout->insertWidget(0, m_edit);
    layout->insertWidget(0, m_run);
    // Tab meets them where they are shown, after the pop-up, not after everything made before them.
    QWidget::setTabOrder(m_picker->comboBox(), m_run);
    QWidget::setTabOrder(m_run, m_edit);
    QWidget::setTabOrder(m_edit, m_create);
}

void NotificationRunShortcutSetting::createScript()
{
    std::string problem;
    if (!ShortcutsApp::createShortcut(&problem)) {
        const auto root = platform::ShortcutsFolder::standardLocation();
        zk::AlertDescription description;
        description.title = tr("Could not create a script").toStdString();
        description.message = tr("No new script could be written in the scripts folder, %1. Check that the "
                                 "folder is yours and can be written to, and that the disk has room.")
                                  .arg(QString::fromStdString(root.string()))
                                  .toStdString();
        description.detailText = problem;
        zk::AlertPresenter::shared().present(zk::makeAlert(description), {}, window());
    }
    refresh();
}

void NotificationRunShortcutSetting::grantAccess()
{
    // Access is the folder itself: make it when it is missing, and show it so that the user can put
    // scripts there or mend its permissions.
    const auto root = platform::ShortcutsFolder::standardLocation();
    std::error_code error;
    if (!platform::PrivateFiles::createFolders(root, error)) {
        platform::log(platform::LogLevel::Warning, platform::lcScripts(),
            "Could not create the shortcuts folder " + root.string() + ": " + error.message());
    }
    zk::UrlOpener::openOrTell(
        QUrl::fromLocalFile(QString::fromStdString(root.string())), "the scripts folder");
    refresh();
}

} // namespace kiruvo
