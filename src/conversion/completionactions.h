#pragma once

#include <QString>

#include <functional>

// The end-of-batch actions that reach outside the program.
class CompletionActions
{
public:
    virtual ~CompletionActions() = default;
    // False when nothing could open it.
    virtual bool openFolder(const QString &folder) = 0;
    // Plays the file and calls done once it has played (or could not be played).
    virtual void playSound(const QString &file, std::function<void()> done) = 0;
};
