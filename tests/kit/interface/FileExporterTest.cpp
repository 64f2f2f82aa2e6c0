#include "kit/interface/FileExporter.h"

#include "kit/foundation/AlertPresenter.h"
#include "platform/ErrorReporter.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

#include <memory>

namespace {

class FileExporterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::ErrorReporter::setShared(&reporter);
        zk::AlertPresenter::shared().setRunModal([this](QMessageBox& alert) {
            alerts.push_back((alert.text() + QLatin1Char('|') + alert.informativeText()).toStdString());
            return 0;
        });
        zk::FileExporter::setSavePanel(
            [this](QWidget*, const zk::ExportFile& file, std::function<void(std::optional<QString>)> chosen) {
                asked.push_back(file);
                chosen(answer);
            });
    }
    void TearDown() override
    {
        zk::FileExporter::setSavePanel({});
        zk::AlertPresenter::shared().setRunModal({});
        platform::ErrorReporter::setShared(nullptr);
    }

    static void settle()
    {
        for (int i = 0; i < 10; ++i) {
            QCoreApplication::processEvents();
        }
    }

    static QByteArray contents(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    zk::ExportFile csv(QByteArray data = "\"Duration\",\"Start\",\"End\"")
    {
        return { std::move(data), zk::ContentType::commaSeparatedText(), std::string("Kiruvo Sessions ") };
    }

    QTemporaryDir folder;
    platform::ErrorReporter reporter { folder.filePath("reports").toStdString() };
    QWidget window;
    std::optional<QString> answer;
    std::vector<zk::ExportFile> asked;
    std::vector<std::string> alerts;
};

} // namespace

TEST_F(FileExporterTest, WritesTheBytesWhereTheUserChoseAndLetsGoOfTheFile)
{
    answer = folder.filePath("history.csv");
    zk::FileExporter exporter(&window);
    int changes = 0;
    QObject::connect(&exporter, &zk::FileExporter::fileChanged, [&] { ++changes; });
    exporter.setFile(csv());
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], csv());
    EXPECT_FALSE(exporter.file());
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(contents(*answer), "\"Duration\",\"Start\",\"End\"");
    EXPECT_FALSE(exporter.error());
    settle();
    EXPECT_TRUE(alerts.empty());
}

TEST_F(FileExporterTest, ACancelledDialogWritesNothingAndIsNoFailure)
{
    zk::FileExporter exporter(
        &window, [](const zk::FileExporter::Result&) { FAIL() << "no outcome expected"; });
    exporter.setFile(csv());
    EXPECT_FALSE(exporter.file());
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files).size(), 0);
}

TEST_F(FileExporterTest, AFailureIsShownWithWhatAndWhereAndLeavesNoPartialFile)
{
    // A path below a regular file cannot be written.
    QFile blocker(folder.filePath("not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    answer = folder.filePath("not-a-folder/history.csv");
    zk::FileExporter exporter(&window);
    exporter.setFile(csv());
    ASSERT_TRUE(exporter.error());
    EXPECT_NE(exporter.error()->localizedDescription().find("“history.csv” could not be saved in"),
        std::string::npos);
    settle();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_NE(alerts[0].find("history.csv"), std::string::npos);
    EXPECT_NE(alerts[0].find("not-a-folder"), std::string::npos);
    // Dismissing the alert clears the error.
    EXPECT_FALSE(exporter.error());
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList { "not-a-folder" });

    // A later success writes normally.
    answer = folder.filePath("history.csv");
    exporter.setFile(csv());
    EXPECT_EQ(contents(*answer), "\"Duration\",\"Start\",\"End\"");
}

TEST_F(FileExporterTest, AnExistingFileIsReplacedWholeOrLeftAsItWas)
{
    const QString path = folder.filePath("history.json");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old contents");
    }
    EXPECT_FALSE(zk::FileExporter::write("[]", path));
    EXPECT_EQ(contents(path), "[]");
    EXPECT_TRUE(zk::FileExporter::write("[]", folder.filePath("missing/history.json")));
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList { "history.json" });
}

TEST_F(FileExporterTest, AFailedWriteNamesItsReason)
{
    // A file-size limit fails the write as a full disk does, with EFBIG instead of ENOSPC.
    struct rlimit previous { };
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = previous;
    limited.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const auto error = zk::FileExporter::write(QByteArray(64 * 1024, 'x'), folder.filePath("history.json"));
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    ASSERT_TRUE(error);
    const std::string reason = error->recoverySuggestion();
    EXPECT_EQ(reason, std::strerror(EFBIG));
    EXPECT_FALSE(QFileInfo::exists(folder.filePath("history.json")));
}

TEST_F(FileExporterTest, TheCompletionGetsTheOutcomeInsteadOfTheAlert)
{
    std::vector<zk::FileExporter::Result> results;
    zk::FileExporter exporter(
        &window, [&](const zk::FileExporter::Result& result) { results.push_back(result); });
    answer = folder.filePath("missing/history.csv");
    exporter.setFile(csv());
    answer = folder.filePath("history.csv");
    exporter.setFile(csv());
    settle();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_TRUE(std::holds_alternative<zk::ErrorPtr>(results[0]));
    ASSERT_TRUE(std::holds_alternative<QString>(results[1]));
    EXPECT_EQ(std::get<QString>(results[1]), *answer);
    EXPECT_TRUE(alerts.empty());
    EXPECT_FALSE(exporter.error());
}

TEST_F(FileExporterTest, TheDesktopDialogProposesTheNameWithItsExtension)
{
    zk::FileExporter::setSavePanel({});
    zk::FileExporter exporter(&window);
    exporter.setFile(zk::ExportFile {
        "[]", zk::ContentType::json(), std::string("Kiruvo Sessions 2024-01-05--2024-05-04") });
    settle();
    QFileDialog* dialog = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<QFileDialog*>(widget); found && found->isVisible()) {
            dialog = found;
        }
    }
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dialog->defaultSuffix(), "json");
    ASSERT_FALSE(dialog->selectedFiles().isEmpty());
    EXPECT_TRUE(dialog->selectedFiles().front().endsWith("Kiruvo Sessions 2024-01-05--2024-05-04.json"));
    EXPECT_EQ(dialog->nameFilters(), QStringList { "JSON document (*.json)" });
    // Saved under the proposed name (in the test's own documents folder).
    const QString path = dialog->selectedFiles().front();
    QMetaObject::invokeMethod(dialog, "done", Q_ARG(int, QDialog::Accepted));
    settle();
    EXPECT_EQ(contents(path), "[]");
    EXPECT_FALSE(exporter.file());
    QFile::remove(path);
}
