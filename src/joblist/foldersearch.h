#pragma once

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

struct FolderSearchResult
{
    QString root; // the folder searched
    QStringList files;
    // Folders that could not be listed: what is in them is missing from files.
    QStringList unreadable;
};

// Every regular file in the folder and, depth first, in its subfolders: each
// folder's own files first (in name order), then the contents of each
// subfolder. Links to files count; pipes, sockets and devices do not. A
// symbolic link to a folder is searched once at most, so a link loop ends.
// Names are kept byte for byte (see filenames.h).
FolderSearchResult searchFolderReporting(const QString &folder,
                                         const std::atomic_bool *cancel = nullptr);
QStringList searchFolder(const QString &folder, const std::atomic_bool *cancel = nullptr);

// Runs the search off the calling thread and reports the result back on it.
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
    void finished(const FolderSearchResult &result);

private:
    QThread *m_thread = nullptr;
    std::shared_ptr<std::atomic_bool> m_cancel;
};

Q_DECLARE_METATYPE(FolderSearchResult)
