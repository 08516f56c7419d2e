#include "foldersearch.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>
#include <QThread>

#include <algorithm>

namespace {

// Case-insensitive first, as NTFS lists names; ties broken by the exact text.
bool nameLess(const QString &a, const QString &b)
{
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

void searchInto(const QString &folder, QStringList &out, QSet<QString> &visited,
                const std::atomic_bool *cancel)
{
    if (cancel && cancel->load(std::memory_order_relaxed))
        return;
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty() || visited.contains(canonical))
        return;
    visited.insert(canonical);

    QStringList files, subfolders;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QString name = trimFileName(it.fileName());
        if (it.fileInfo().isDir())
            subfolders << name;
        else
            files << name;
    }
    std::sort(files.begin(), files.end(), nameLess);
    std::sort(subfolders.begin(), subfolders.end(), nameLess);

    // A drive or file-system root already ends with its separator.
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    for (const QString &name : std::as_const(files))
        out << prefix + name;
    for (const QString &name : std::as_const(subfolders))
        searchInto(prefix + name, out, visited, cancel);
}

} // namespace

QString trimFileName(const QString &name)
{
    qsizetype end = name.size();
    while (end > 0 && (name[end - 1] == u'\0' || name[end - 1] == u' '))
        --end;
    return name.left(end);
}

QStringList searchFolder(const QString &folder, const std::atomic_bool *cancel)
{
    QStringList out;
    QSet<QString> visited;
    searchInto(QDir::fromNativeSeparators(folder), out, visited, cancel);
    if (cancel && cancel->load())
        return {};
#ifdef Q_OS_WIN
    for (QString &path : out)
        path = QDir::toNativeSeparators(path);
#endif
    return out;
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
    auto result = std::make_shared<QStringList>();
    m_thread = QThread::create(
        [folder, result, cancel = m_cancel] { *result = searchFolder(folder, cancel.get()); });
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
