#include "foldersearch.h"

#include "common/paths.h"

#include <QDir>
#include <QSet>
#include <QThread>

#include <algorithm>

#include <dirent.h>
#include <sys/stat.h>

namespace {

// Case-insensitive first, as NTFS lists names and users expect; ties broken by the exact text.
bool nameLess(const QString &a, const QString &b)
{
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

struct Listing
{
    QStringList files, subfolders;
    bool readable = true;
};

using FolderKey = QPair<quint64, quint64>; // device and inode

bool folderKey(const QByteArray &path, FolderKey &key)
{
    struct stat st;
    if (::stat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    key = {quint64(st.st_dev), quint64(st.st_ino)};
    return true;
}

Listing list(const QString &folder)
{
    Listing listing;
    const QByteArray bytes = pathToBytes(folder);
    DIR *dir = ::opendir(bytes.constData());
    if (!dir) {
        listing.readable = false;
        return listing;
    }
    const QByteArray prefix = bytes.endsWith('/') ? bytes : bytes + '/';
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry) {
            listing.readable = errno == 0;
            break;
        }
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        // Only files and folders, links to them included: a pipe, socket or
        // device would make the encoder wait on it for ever.
        mode_t type = DTTOIF(entry->d_type);
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat st;
            type = ::stat((prefix + name).constData(), &st) == 0 ? st.st_mode & S_IFMT : 0;
        }
        if (S_ISDIR(type))
            listing.subfolders << pathFromBytes(name);
        else if (S_ISREG(type))
            listing.files << pathFromBytes(name);
    }
    ::closedir(dir);
    return listing;
}

void searchInto(const QString &folder, FolderSearchResult &out, QSet<FolderKey> &visited,
                const std::atomic_bool *cancel)
{
    if (cancel && cancel->load(std::memory_order_relaxed))
        return;
    FolderKey key;
    if (!folderKey(pathToBytes(folder), key)) {
        out.unreadable << folder;
        return;
    }
    if (visited.contains(key))
        return;
    visited.insert(key);

    Listing listing = list(folder);
    if (!listing.readable)
        out.unreadable << folder;
    std::sort(listing.files.begin(), listing.files.end(), nameLess);
    std::sort(listing.subfolders.begin(), listing.subfolders.end(), nameLess);

    const QString prefix = withTrailingSeparator(folder);
    for (const QString &name : std::as_const(listing.files))
        out.files << prefix + name;
    for (const QString &name : std::as_const(listing.subfolders))
        searchInto(prefix + name, out, visited, cancel);
}

} // namespace

FolderSearchResult searchFolderReporting(const QString &folder, const std::atomic_bool *cancel)
{
    FolderSearchResult result;
    result.root = folder;
    QSet<FolderKey> visited;
    searchInto(folder, result, visited, cancel);
    if (cancel && cancel->load())
        return {};
    return result;
}

QStringList searchFolder(const QString &folder, const std::atomic_bool *cancel)
{
    return searchFolderReporting(folder, cancel).files;
}

FolderSearch::FolderSearch(QObject *parent) : QObject(parent) {}

FolderSearch::~FolderSearch()
{
    if (m_thread) {
        m_cancel->store(true);
        m_thread->wait();
        delete m_thread;
    }
}

bool FolderSearch::isRunning() const
{
    return m_thread != nullptr;
}

bool FolderSearch::start(const QString &folder)
{
    if (m_thread)
        return false;
    m_cancel = std::make_shared<std::atomic_bool>(false);
    auto result = std::make_shared<FolderSearchResult>();
    m_thread = QThread::create([folder, result, cancel = m_cancel] {
        *result = searchFolderReporting(folder, cancel.get());
    });
    connect(m_thread, &QThread::finished, this, [this, result] {
        m_thread->deleteLater();
        m_thread = nullptr;
        const bool cancelled = m_cancel->load();
        if (!cancelled)
            Q_EMIT finished(*result);
    });
    m_thread->start();
    return true;
}

void FolderSearch::cancel()
{
    if (m_cancel)
        m_cancel->store(true);
}
