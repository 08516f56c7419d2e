#pragma once

#include "app/mainwindow.h"
#include "app/messagesink.h"
#include "conversion/batchcontroller.h"
#include "dialogs/commondialogs.h"

#include <QDBusConnection>
#include <QList>
#include <QMimeData>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

// Test stand-ins for everything the window reaches outside itself.

// The toolbar buttons from left to right as indexed by the window.
inline const QStringList toolbarButtonNames{u"addVideoButton"_qs,    u"addFolderButton"_qs,
                                            u"removeVideoButton"_qs, u"webSiteButton"_qs,
                                            u"optionsButton"_qs,     u"exitButton"_qs};

struct RecordedMessage
{
    MessageSink::Icon icon;
    QString title;
    QString text;
};

class RecordingSink : public MessageSink
{
public:
    void showMessage(Icon icon, const QString &title, const QString &text) override
    {
        messages.append({icon, title, text});
    }
    // Answers with the next prepared answer, else like closing the box.
    int ask(Icon icon, const QString &title, const QString &text, const QStringList &buttons,
            int defaultButton = 0) override
    {
        messages.append({icon, title, text});
        questions << buttons;
        defaults << defaultButton;
        if (whileAsking)
            std::exchange(whileAsking, nullptr)();
        if (answers.empty())
            return int(buttons.size()) - 1;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    QList<RecordedMessage> messages;
    QList<QStringList> questions;
    QList<int> defaults; // the button Enter chooses, for each question
    std::deque<int> answers;
    std::function<void()> whileAsking; // runs once, while the next question is open
};

struct OpenFileCall
{
    QString startFolder;
    QString fileName;
    FileFilters filters;
};

// Answers each dialog with the next prepared answer; nullopt or an empty list
// is a cancel.
class FakeDialogRunner : public DialogRunner
{
public:
    std::optional<QString> openFile(QWidget *, const QString &, const QString &startFolder,
                                    const QString &fileName, const FileFilters &filters,
                                    const QString &) override
    {
        const QStringList files = openFiles(nullptr, {}, startFolder, fileName, filters);
        if (files.isEmpty())
            return std::nullopt;
        return files.constFirst();
    }
    QStringList openFiles(QWidget *, const QString &, const QString &startFolder,
                          const QString &fileName, const FileFilters &filters) override
    {
        openCalls.append({startFolder, fileName, filters});
        if (openAnswers.empty())
            return {};
        const QStringList answer = openAnswers.front();
        openAnswers.pop_front();
        return answer;
    }
    std::optional<QString> saveFile(QWidget *, const QString &, const QString &,
                                    const FileFilters &) override
    {
        return std::nullopt;
    }
    std::optional<QString> browseFolder(QWidget *, const QString &title,
                                        const QString &startFolder) override
    {
        folderTitles.append(title);
        folderStarts.append(startFolder);
        return next(folderAnswers);
    }
    std::optional<QColor> chooseColor(QWidget *, const QColor &, bool) override
    {
        return std::nullopt;
    }
    std::optional<QFont> chooseFont(QWidget *, const QFont &) override { return std::nullopt; }
    bool showPrinter(QWidget *) override { return false; }
    bool showPrinterProperties(QWidget *) override { return false; }

    std::deque<QStringList> openAnswers; // the files picked in each open dialog
    std::deque<std::optional<QString>> folderAnswers;
    QList<OpenFileCall> openCalls;
    QStringList folderTitles;
    QStringList folderStarts;

private:
    static std::optional<QString> next(std::deque<std::optional<QString>> &answers)
    {
        // Copied field by field: GCC's -O2 flow analysis warns on copying the optional.
        if (answers.empty() || !answers.front().has_value()) {
            if (!answers.empty())
                answers.pop_front();
            return std::nullopt;
        }
        const QString answer = *answers.front();
        answers.pop_front();
        return answer;
    }
};

class RecordingCompletion : public CompletionActions
{
public:
    bool openFolder(const QString &folder) override
    {
        openedFolders << folder;
        return folderOpens;
    }
    void playSound(const QString &file, std::function<void()> done) override
    {
        sounds << file;
        done();
    }
    QStringList openedFolders;
    bool folderOpens = true; // false: the desktop has no file manager
    QStringList sounds;
};

// Settings, state and the single-copy lock go to places of this test run's
// own. Qt's test mode would share one folder in the home with every test
// program running beside this one, in this build or another.
inline void isolateTestRun(const QTemporaryDir &runtime)
{
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    for (const char *name : {"CONFIG", "DATA", "CACHE", "STATE"})
        qputenv("XDG_" + QByteArray(name) + "_HOME",
                QFile::encodeName(runtime.path() + u'/' + QString::fromLatin1(name).toLower()));
}

inline std::unique_ptr<QMimeData> fileDrop(const QStringList &paths)
{
    auto mime = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString &p : paths)
        urls << QUrl::fromLocalFile(p);
    mime->setUrls(urls);
    return mime;
}

// One window with every outside service replaced.
struct Harness
{
    explicit Harness(const QString &programFolder)
    {
        WindowServices services;
        services.messages = &sink;
        services.dialogs = &dialogs;
        services.completion = &completion;
        services.openUrl = [this](const QUrl &url) {
            urls << url;
            return urlsOpen;
        };
        services.programFolder = programFolder;
        // The window's size and columns stay those of a fresh window.
        services.windowFile = QString();
        services.queueFile = QString();
        // No desktop to tell: a bus connection that was never made.
        services.desktopBus = QDBusConnection(u"torvane-no-bus"_qs);
        services.showOptions = [this](OptionValues &, const QString &file) {
            optionsFiles << file;
        };
        window = std::make_unique<MainWindow>(services);
        // One job at a time, whatever the machine, unless a test asks for more.
        window->batch().setCores(1);
        window->show();
    }

    template<class T = QWidget> T *control(const QString &name) const
    {
        return window->findChild<T *>(name);
    }
    void click(const QString &name) const { QTest::mouseClick(control(name), Qt::LeftButton); }
    bool hintShown() const { return !control(u"emptyListHint"_qs)->isHidden(); }

    RecordingSink sink;
    FakeDialogRunner dialogs;
    RecordingCompletion completion;
    QList<QUrl> urls;
    bool urlsOpen = true; // false: the desktop has nothing to open them with
    QStringList optionsFiles;
    std::unique_ptr<MainWindow> window;
};
