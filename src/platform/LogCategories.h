#pragma once

// Declared by hand as Q_DECLARE_LOGGING_CATEGORY would: <QLoggingCategory> brings the whole of
// <QDebug> with it, and nearly every file logs.
class QLoggingCategory;

namespace platform {

// The logging categories, one for each part of the program a user may want to follow on its own.
// Each shows its info lines, warnings and errors on standard error and keeps its debug lines back
// unless debug mode is on or Qt's logging rules turn them on:
//     QT_LOGGING_RULES="kiruvo.idle.debug=true" kiruvo
// Defined with Q_LOGGING_CATEGORY in LogCategories.cpp; platform::log writes under them.

// Sessions being tracked, their stored history and the reminder timer ("kiruvo.engine").
const QLoggingCategory& lcEngine();
// The idle time sources of each desktop and which one answers ("kiruvo.idle").
const QLoggingCategory& lcIdle();
// The settings database, stored preferences and their migrations ("kiruvo.store").
const QLoggingCategory& lcStore();
// The status item in the panel, its menu and its icon ("kiruvo.tray").
const QLoggingCategory& lcTray();
// The global keyboard shortcuts ("kiruvo.shortcuts").
const QLoggingCategory& lcShortcuts();
// Break reminders: the popover, sounds and what runs with them ("kiruvo.reminders").
const QLoggingCategory& lcReminders();
// Desktop notifications ("kiruvo.notifications").
const QLoggingCategory& lcNotifications();
// The user's scripts in the scripts folder ("kiruvo.scripts").
const QLoggingCategory& lcScripts();
// Start, the single instance, launch at login and relaunch ("kiruvo.startup").
const QLoggingCategory& lcStartup();
// Sleep, wake, shutdown, signals and the timers that span a sleep ("kiruvo.system").
const QLoggingCategory& lcSystem();
// Links, files, windows, sharing and other services of the desktop ("kiruvo.desktop").
const QLoggingCategory& lcDesktop();
// Debug mode's entries, error reports and the support tools ("kiruvo.diagnostics").
const QLoggingCategory& lcDiagnostics();
// The program's own plumbing: tasks, the main queue, locks, caches ("kiruvo.core").
const QLoggingCategory& lcCore();

} // namespace platform
