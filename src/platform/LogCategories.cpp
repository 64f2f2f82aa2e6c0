#include "platform/LogCategories.h"

#include <QLoggingCategory>

namespace platform {

// Debug lines are off until asked for: a normal run stays quiet.
Q_LOGGING_CATEGORY(lcEngine, "kiruvo.engine", QtInfoMsg)
Q_LOGGING_CATEGORY(lcIdle, "kiruvo.idle", QtInfoMsg)
Q_LOGGING_CATEGORY(lcStore, "kiruvo.store", QtInfoMsg)
Q_LOGGING_CATEGORY(lcTray, "kiruvo.tray", QtInfoMsg)
Q_LOGGING_CATEGORY(lcShortcuts, "kiruvo.shortcuts", QtInfoMsg)
Q_LOGGING_CATEGORY(lcReminders, "kiruvo.reminders", QtInfoMsg)
Q_LOGGING_CATEGORY(lcNotifications, "kiruvo.notifications", QtInfoMsg)
Q_LOGGING_CATEGORY(lcScripts, "kiruvo.scripts", QtInfoMsg)
Q_LOGGING_CATEGORY(lcStartup, "kiruvo.startup", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSystem, "kiruvo.system", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDesktop, "kiruvo.desktop", QtInfoMsg)
Q_LOGGING_CATEGORY(lcDiagnostics, "kiruvo.diagnostics", QtInfoMsg)
Q_LOGGING_CATEGORY(lcCore, "kiruvo.core", QtInfoMsg)

} // namespace platform
