#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

class QThread;

// The name without its trailing NUL and space characters.
QString trimFileName(const QString &name);

// Every file in the folder and, depth first, in its subfolders: each folder's
// own files first (in name order), then the contents of each subfolder. A
// symbolic link to a folder is searched once at most, so a link loop ends.
QStringList searchFolder(const QString &folder, const std::atomic_bool *cancel = nullptr);

// Runs searchFolder off the calling thread and reports the result back on it.
class FolderSearch : public QObject
{
    Q_OBJECT

public:
    explicit FolderSearch(QObject *parent = nullptr);
    ~FolderSearch() override;

    bool isRunning() const;
    // Starts a search; false while one is still running.
    bool start(const QString &folder);
    void cancel();

Q_SIGNALS:
    void finished(const QStringList &files);

private:
    QThread *m_thread = nullptr;
    std::shared_ptr<std::atomic_bool> m_cancel;
};
