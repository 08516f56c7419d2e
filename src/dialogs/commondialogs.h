#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>

// One entry of a file dialog's filter list, e.g. {"全部格式(*.*)", "*.*"}.
// pattern keeps the caller's form: several patterns are separated by ";".
struct FileFilter
{
    QString description;
    QString pattern;

    friend bool operator==(const FileFilter &, const FileFilter &) = default;
};
using FileFilters = QList<FileFilter>;

// The "|"-separated list "desc|pattern|desc|pattern". Reading stops at the
// first empty piece, and a description without a pattern is dropped, as the
// system dialogs treat the NUL-separated list these strings were made for.
// filterListForOpen: a blank filter gives no filter at all.
FileFilters filterListForOpen(const QString &filter);
// filterListForSave: a blank filter means every file ("*.*|*.*").
FileFilters filterListForSave(const QString &filter);

// Qt name filters ("desc (*.mp4 *.MP4)") for QFileDialog with its details hidden:
// "*.*" also matches names without a dot, and every pattern gets its upper-case
// twin so a camera's VIDEO.MP4 shows on case-sensitive file systems.
QStringList qtNameFilters(const FileFilters &filters);

// Colour values as stored in Color: red in the lowest byte, then green, blue.
QColor colorFromColorRef(int32_t colorRef);
int32_t colorRefFromColor(const QColor &color);

// Modal dialogs and message boxes offer only the close button: minimising or
// maximising a box that waits for an answer helps nobody.
void keepCloseButtonOnly(QWidget *dialog);

// Shows the real dialogs. Tests replace it with a fake that answers at once.
// Every method blocks until the dialog is closed; nullopt/false means cancelled
// or failed.
class DialogRunner
{
public:
    virtual ~DialogRunner() = default;

    // One existing file. fileName pre-fills the name box; defaultSuffix (no dot)
    // is added to a typed name without an extension.
    virtual std::optional<QString> openFile(QWidget *owner, const QString &title,
                                            const QString &startFolder, const QString &fileName,
                                            const FileFilters &filters,
                                            const QString &defaultSuffix) = 0;
    // Any number of existing files, in the order the dialog gives them; empty
    // when cancelled. fileName pre-selects one.
    virtual QStringList openFiles(QWidget *owner, const QString &title, const QString &startFolder,
                                  const QString &fileName, const FileFilters &filters) = 0;
    virtual std::optional<QString> saveFile(QWidget *owner, const QString &title,
                                            const QString &startFolder,
                                            const FileFilters &filters) = 0;
    // Only real folders can be confirmed. startFolder: where it opens; blank
    // leaves that to the dialog.
    virtual std::optional<QString> browseFolder(QWidget *owner, const QString &title,
                                                const QString &startFolder) = 0;
    virtual std::optional<QColor> chooseColor(QWidget *owner, const QColor &initial,
                                              bool fullOpen) = 0;
    virtual std::optional<QFont> chooseFont(QWidget *owner, const QFont &initial) = 0;
    virtual bool showPrinter(QWidget *owner) = 0;
    // Page and printer set-up of the default printer; false when there is none.
    virtual bool showPrinterProperties(QWidget *owner) = 0;
};

class QtDialogRunner : public DialogRunner
{
public:
    std::optional<QString> openFile(QWidget *owner, const QString &title,
                                    const QString &startFolder, const QString &fileName,
                                    const FileFilters &filters,
                                    const QString &defaultSuffix) override;
    QStringList openFiles(QWidget *owner, const QString &title, const QString &startFolder,
                          const QString &fileName, const FileFilters &filters) override;
    std::optional<QString> saveFile(QWidget *owner, const QString &title,
                                    const QString &startFolder,
                                    const FileFilters &filters) override;
    std::optional<QString> browseFolder(QWidget *owner, const QString &title,
                                        const QString &startFolder) override;
    std::optional<QColor> chooseColor(QWidget *owner, const QColor &initial,
                                      bool fullOpen) override;
    std::optional<QFont> chooseFont(QWidget *owner, const QFont &initial) override;
    bool showPrinter(QWidget *owner) override;
    bool showPrinterProperties(QWidget *owner) override;
};

// The common dialogs behind properties: set them, call a Show method, check its
// result, read them back. A cancelled or failed dialog changes no property.
// Paths come back with the platform's separators ("/" on Linux).
class CommonDialogs
{
public:
    CommonDialogs();
    ~CommonDialogs();
    CommonDialogs(const CommonDialogs &) = delete;
    CommonDialogs &operator=(const CommonDialogs &) = delete;

    bool fontUnderline() const { return m_fontUnderline; }
    void setFontUnderline(bool value) { m_fontUnderline = value; }
    bool fontItalic() const { return m_fontItalic; }
    void setFontItalic(bool value) { m_fontItalic = value; }
    bool fontBold() const { return m_fontBold; }
    void setFontBold(bool value) { m_fontBold = value; }
    int16_t fontSize() const { return m_fontSize; }
    void setFontSize(int16_t value) { m_fontSize = value; }
    QString fontName() const { return m_fontName; }
    void setFontName(const QString &value) { m_fontName = value; }
    int32_t color() const { return m_color; }
    void setColor(int32_t value) { m_color = value; }
    QString defaultExtension() const { return m_defaultExtension; }
    void setDefaultExtension(const QString &value) { m_defaultExtension = value; }
    QString title() const;
    void setTitle(const QString &value) { m_title = value; }
    QString path() const;
    void setPath(const QString &value) { m_path = value; }
    QString fileTitle() const;
    void setFileTitle(const QString &value) { m_fileTitle = value; }
    QString filter() const { return m_filter; }
    void setFilter(const QString &value) { m_filter = value; }
    // The chosen file with its folder.
    QString fileName() const;
    void setFileName(const QString &value) { m_fileName = value; }
    // Every file the last open or save dialog gave, in its order; fileName()
    // is the first of them.
    QStringList fileNames() const { return m_fileNames; }

    // Every show method needs an owner; without one it returns false.
    void setOwner(QWidget *owner) { m_owner = owner; }
    // Not owned; nullptr returns to the built-in Qt dialogs.
    void setRunner(DialogRunner *runner);

    bool showOpen();
    // showOpen with any number of files allowed.
    bool showOpenFiles();
    bool showSave();
    // Opens at path(); a chosen folder becomes path().
    bool showFolder();
    bool showColor(bool fullOpen);
    bool showFont();
    bool showPrinter();
    bool showPrinterProperties();

private:
    void takeFile(const QString &path);
    // Where the open dialogs start: path(), else the working folder.
    QString openStartFolder() const;

    QPointer<QWidget> m_owner;
    DialogRunner *m_runner = nullptr;
    std::unique_ptr<DialogRunner> m_ownRunner;

    bool m_fontUnderline = false;
    bool m_fontItalic = false;
    bool m_fontBold = false;
    int16_t m_fontSize = 0;
    QString m_fontName;
    int32_t m_color = 0;
    QString m_defaultExtension;
    QString m_title;
    QString m_path;
    QString m_fileTitle;
    QString m_filter;
    QString m_fileName;
    QStringList m_fileNames;
};

// Stand-alone open dialog. startFolder: blank gives the program folder; an
// existing folder gets a trailing separator; a missing one is replaced by the
// program folder. The variable receives the folder used. flags are the
// Windows OFN_* bits, accepted for callers written against them; the dialog
// always picks one existing file. Returns the full path, or "" when cancelled.
// runner: nullptr uses the Qt dialogs.
QString openFileDialog(QWidget *owner, const QString &title, QString &startFolder,
                       const QString &filter, qint32 flags, DialogRunner *runner = nullptr);
