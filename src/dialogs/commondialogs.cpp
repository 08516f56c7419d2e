#include "commondialogs.h"

#include "common/paths.h"

#include <QColorDialog>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include <algorithm>
#include <limits>

namespace {

// The stored text up to its first NUL, as a fixed-size dialog buffer would end it.
QString upToNul(const QString &text)
{
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    return nul < 0 ? text : text.left(nul);
}

FileFilters pairUp(const QStringList &pieces)
{
    FileFilters filters;
    for (qsizetype i = 0; i + 1 < pieces.size(); i += 2) {
        if (pieces[i].isEmpty() || pieces[i + 1].isEmpty())
            break;
        filters.append({pieces[i], pieces[i + 1]});
    }
    return filters;
}

QString programFolder()
{
    return QCoreApplication::applicationDirPath();
}

// Start folder of the save dialog and of openFileDialog.
QString startFolderFor(const QString &requested)
{
    if (requested.trimmed().isEmpty())
        return programFolder();
    QString folder = requested;
    folder = withTrailingSeparator(folder);
    if (!QFileInfo(folder).isDir())
        return programFolder();
    return folder;
}

QtDialogRunner &sharedQtRunner()
{
    static QtDialogRunner runner;
    return runner;
}

} // namespace

FileFilters filterListForOpen(const QString &filter)
{
    if (filter.trimmed().isEmpty())
        return {};
    return pairUp(filter.split(u'|'));
}

FileFilters filterListForSave(const QString &filter)
{
    return pairUp((filter.trimmed().isEmpty() ? u"*.*|*.*"_qs : filter).split(u'|'));
}

QStringList qtNameFilters(const FileFilters &filters)
{
    QStringList result;
    for (const FileFilter &filter : filters) {
        QStringList patterns;
        const QStringList given = filter.pattern.split(u';', Qt::SkipEmptyParts);
        for (QString pattern : given) {
            pattern = pattern.trimmed();
            if (pattern == u"*.*")
                pattern = u"*"_qs;
            if (pattern.isEmpty() || patterns.contains(pattern))
                continue;
            patterns.append(pattern);
            const QString upper = pattern.toUpper();
            if (upper != pattern)
                patterns.append(upper);
        }
        if (patterns.isEmpty())
            patterns.append(u"*"_qs);
        result.append(filter.description + u" ("_qs + patterns.join(u' ') + u')');
    }
    return result;
}

QColor colorFromColorRef(int32_t colorRef)
{
    const auto value = static_cast<uint32_t>(colorRef);
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

int32_t colorRefFromColor(const QColor &color)
{
    const QColor rgb = color.toRgb();
    return int32_t(uint32_t(rgb.red()) | uint32_t(rgb.green()) << 8 | uint32_t(rgb.blue()) << 16);
}

void keepCloseButtonOnly(QWidget *dialog)
{
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint);
}

// --- QtDialogRunner --------------------------------------------------------

std::optional<QString> QtDialogRunner::openFile(QWidget *owner, const QString &title,
                                                const QString &startFolder, const QString &fileName,
                                                const FileFilters &filters,
                                                const QString &defaultSuffix)
{
    QFileDialog dialog(owner, title, startFolder);
    keepCloseButtonOnly(&dialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    if (!filters.isEmpty())
        dialog.setNameFilters(qtNameFilters(filters));
    if (!defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(defaultSuffix);
    if (!fileName.isEmpty())
        dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

QStringList QtDialogRunner::openFiles(QWidget *owner, const QString &title,
                                      const QString &startFolder, const QString &fileName,
                                      const FileFilters &filters)
{
    QFileDialog dialog(owner, title, startFolder);
    keepCloseButtonOnly(&dialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    if (!filters.isEmpty())
        dialog.setNameFilters(qtNameFilters(filters));
    if (!fileName.isEmpty())
        dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

std::optional<QString> QtDialogRunner::saveFile(QWidget *owner, const QString &title,
                                                const QString &startFolder,
                                                const FileFilters &filters)
{
    // Qt asks before replacing an existing file; keeping that guards the user's data.
    QFileDialog dialog(owner, title, startFolder);
    keepCloseButtonOnly(&dialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(qtNameFilters(filters));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> QtDialogRunner::browseFolder(QWidget *owner, const QString &title,
                                                    const QString &startFolder)
{
    QFileDialog dialog(owner, title, startFolder);
    keepCloseButtonOnly(&dialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty() ||
        dialog.selectedFiles().constFirst().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QColor> QtDialogRunner::chooseColor(QWidget *owner, const QColor &initial, bool)
{
    // Each call starts with a fresh, all-black table of custom colours. Qt's
    // dialog always shows its full form, so fullOpen changes nothing here.
    for (int i = 0; i < QColorDialog::customCount(); ++i)
        QColorDialog::setCustomColor(i, Qt::black);
    QColorDialog dialog(initial, owner);
    keepCloseButtonOnly(&dialog);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.selectedColor();
}

std::optional<QFont> QtDialogRunner::chooseFont(QWidget *owner, const QFont &initial)
{
    QFontDialog dialog(initial, owner);
    keepCloseButtonOnly(&dialog);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.selectedFont();
}

bool QtDialogRunner::showPrinter(QWidget *owner)
{
    QPrinter printer;
    QPrintDialog dialog(&printer, owner);
    keepCloseButtonOnly(&dialog);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
    return dialog.exec() == QDialog::Accepted;
}

bool QtDialogRunner::showPrinterProperties(QWidget *owner)
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return false;
    QPrinter printer(info);
    QPageSetupDialog dialog(&printer, owner);
    keepCloseButtonOnly(&dialog);
    return dialog.exec() == QDialog::Accepted;
}

// --- CommonDialogs --------------------------------------------------------

CommonDialogs::CommonDialogs() : m_ownRunner(std::make_unique<QtDialogRunner>())
{
    m_runner = m_ownRunner.get();
}

CommonDialogs::~CommonDialogs() = default;

QString CommonDialogs::title() const
{
    return upToNul(m_title);
}

QString CommonDialogs::path() const
{
    return upToNul(m_path);
}

QString CommonDialogs::fileTitle() const
{
    return upToNul(m_fileTitle);
}

QString CommonDialogs::fileName() const
{
    return upToNul(m_fileName);
}

void CommonDialogs::setRunner(DialogRunner *runner)
{
    m_runner = runner ? runner : m_ownRunner.get();
}

void CommonDialogs::takeFile(const QString &chosen)
{
    const QString path = chosen;
    m_fileName = path;
    m_fileTitle = QFileInfo(path).fileName();
    m_path = withoutTrailingSeparator(folderOf(path));
    m_fileNames = {path};
}

QString CommonDialogs::openStartFolder() const
{
    return path().isEmpty() ? QDir::currentPath() : path();
}

bool CommonDialogs::showOpen()
{
    if (!m_owner)
        return false;
    const std::optional<QString> chosen =
        m_runner->openFile(m_owner, title(), openStartFolder(), fileName(),
                           filterListForOpen(m_filter), m_defaultExtension);
    if (!chosen || chosen->isEmpty())
        return false;
    takeFile(*chosen);
    return true;
}

bool CommonDialogs::showOpenFiles()
{
    if (!m_owner)
        return false;
    QStringList chosen = m_runner->openFiles(m_owner, title(), openStartFolder(), fileName(),
                                             filterListForOpen(m_filter));
    chosen.removeAll(QString());
    if (chosen.isEmpty())
        return false;
    takeFile(chosen.constFirst());
    m_fileNames = chosen;
    return true;
}

bool CommonDialogs::showSave()
{
    if (!m_owner)
        return false;
    const QString start = startFolderFor(path());
    const std::optional<QString> chosen =
        m_runner->saveFile(m_owner, u"Save"_qs, start, filterListForSave(m_filter));
    if (!chosen || chosen->isEmpty())
        return false;
    takeFile(*chosen);
    return true;
}

bool CommonDialogs::showFolder()
{
    if (!m_owner)
        return false;
    const std::optional<QString> chosen = m_runner->browseFolder(m_owner, title(), path());
    if (!chosen || chosen->isEmpty())
        return false;
    m_path = upToNul(*chosen);
    m_fileName.clear();
    m_fileTitle.clear();
    return true;
}

bool CommonDialogs::showColor(bool fullOpen)
{
    if (!m_owner)
        return false;
    const std::optional<QColor> chosen =
        m_runner->chooseColor(m_owner, colorFromColorRef(m_color), fullOpen);
    if (!chosen || !chosen->isValid())
        return false;
    m_color = colorRefFromColor(*chosen);
    return true;
}

bool CommonDialogs::showFont()
{
    if (!m_owner)
        return false;
    QFont initial;
    if (!m_fontName.isEmpty())
        initial.setFamily(m_fontName.left(31));
    if (m_fontSize > 0)
        initial.setPointSize(m_fontSize);
    initial.setBold(m_fontBold);
    initial.setItalic(m_fontItalic);
    initial.setUnderline(m_fontUnderline);

    const std::optional<QFont> chosen = m_runner->chooseFont(m_owner, initial);
    if (!chosen)
        return false;
    m_fontName = upToNul(chosen->family());
    m_fontBold = chosen->bold();
    m_fontItalic = chosen->italic();
    // The size travels in tenths of a point and the fraction is dropped: 10.5 gives 10.
    const qreal points = chosen->pointSizeF();
    if (points > 0) {
        const qint64 tenths = qRound64(points * 10);
        m_fontSize = int16_t(std::min<qint64>(tenths / 10, std::numeric_limits<int16_t>::max()));
    }
    return true;
}

bool CommonDialogs::showPrinter()
{
    if (!m_owner)
        return false;
    return m_runner->showPrinter(m_owner);
}

bool CommonDialogs::showPrinterProperties()
{
    if (!m_owner)
        return false;
    return m_runner->showPrinterProperties(m_owner);
}

QString openFileDialog(QWidget *owner, const QString &title, QString &startFolder,
                       const QString &filter, qint32 flags, DialogRunner *runner)
{
    Q_UNUSED(flags);
    startFolder = startFolderFor(startFolder);
    DialogRunner &dialogs = runner ? *runner : sharedQtRunner();
    const std::optional<QString> chosen = dialogs.openFile(owner, title, startFolder, QString(),
                                                           filterListForSave(filter), QString());
    if (!chosen)
        return {};
    return upToNul(*chosen);
}
