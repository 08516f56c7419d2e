#pragma once

#include "app/frmmain.h"
#include "conversion/batchdriver.h"
#include "dialogs/ccommondialogs.h"
#include "process/messagesink.h"

#include <QList>
#include <QStringList>
#include <QUrl>

#include <deque>
#include <memory>
#include <optional>

// Test stand-ins for everything the window reaches outside itself.

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
    QList<RecordedMessage> messages;
};

struct OpenFileCall
{
    QString title;
    QString startFolder;
    QString fileName;
    FileFilters filters;
};

// Answers each dialog with the next prepared answer; nullopt is a cancel.
class FakeDialogRunner : public DialogRunner
{
public:
    std::optional<QString> openFile(QWidget *, const QString &title, const QString &startFolder,
                                    const QString &fileName, const FileFilters &filters,
                                    const QString &) override
    {
        openCalls.append({title, startFolder, fileName, filters});
        return next(openAnswers);
    }
    std::optional<QString> saveFile(QWidget *, const QString &, const QString &,
                                    const FileFilters &) override
    {
        return std::nullopt;
    }
    std::optional<QString> browseFolder(QWidget *, const QString &title) override
    {
        folderTitles.append(title);
        return next(folderAnswers);
    }
    std::optional<QColor> chooseColor(QWidget *, const QColor &, bool) override
    {
        return std::nullopt;
    }
    std::optional<QFont> chooseFont(QWidget *, const QFont &) override { return std::nullopt; }
    bool showPrinter(QWidget *) override { return false; }
    bool showPrinterProperties(QWidget *) override { return false; }

    std::deque<std::optional<QString>> openAnswers;
    std::deque<std::optional<QString>> folderAnswers;
    QList<OpenFileCall> openCalls;
    QStringList folderTitles;

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
    void openFolder(const QString &folder) override { openedFolders << folder; }
    void playSound(const QString &file, std::function<void()> done) override
    {
        sounds << file;
        done();
    }
    QStringList openedFolders;
    QStringList sounds;
};

// One window with every outside service replaced.
struct Harness
{
    explicit Harness(const QString &programFolder)
    {
        WindowServices services;
        services.messages = &sink;
        services.dialogs = &dialogs;
        services.completion = &completion;
        services.openUrl = [this](const QUrl &url) { urls << url; };
        services.programFolder = programFolder;
        services.showOptions = [this](OptionValues &, const QString &file) {
            optionsFiles << file;
        };
        window = std::make_unique<frmMain>(services);
        window->show();
    }

    template<class T = QWidget> T *control(const QString &name) const
    {
        return window->findChild<T *>(name);
    }

    RecordingSink sink;
    FakeDialogRunner dialogs;
    RecordingCompletion completion;
    QList<QUrl> urls;
    QStringList optionsFiles;
    std::unique_ptr<frmMain> window;
};
