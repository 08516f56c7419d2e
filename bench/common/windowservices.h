#pragma once

#include "app/mainwindow.h"

#include <QUrl>

#include <cstdio>

// What the window reaches outside itself, answered without dialogs, sound or
// a file manager, so a benchmark measures the window alone.
class PrintingSink : public MessageSink
{
public:
    void showMessage(Icon, const QString &title, const QString &text) override
    {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
    }
};

class NullCompletion : public CompletionActions
{
public:
    bool openFolder(const QString &) override { return true; }
    void playSound(const QString &, std::function<void()> done) override { done(); }
};

struct BenchServices
{
    PrintingSink sink;
    NullCompletion completion;

    WindowServices services(const QString &programFolder)
    {
        WindowServices s;
        s.messages = &sink;
        s.completion = &completion;
        s.openUrl = [](const QUrl &) { return true; };
        s.programFolder = programFolder;
        return s;
    }
};
