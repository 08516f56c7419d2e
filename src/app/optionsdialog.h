#pragma once

#include "shell/settingsfiles.h"

#include <QDialog>
#include <QString>

class MessageSink;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

// The options dialog: completion sound, lossless rotation, keeping the
// source's date and place, and the clip range. Created afresh for
// each opening from the program-wide values; only an accepted dialog changes
// them and rewrites options.ini.
class OptionsDialog : public QDialog
{
    Q_OBJECT

public:
    // messages may be nullptr: a refused value then only moves the focus.
    OptionsDialog(OptionValues &values, const QString &optionsFilePath, MessageSink *messages,
                  QWidget *parent = nullptr);

    // Validates; on success stores the values, writes the file and closes.
    void accept() override;

    QComboBox *soundList = nullptr;
    QCheckBox *losslessCheckBox = nullptr;
    QCheckBox *keepMetadataCheckBox = nullptr;
    QComboBox *parallelJobsList = nullptr; // 自动, then 1, 2, 3 …
    QLineEdit *nameTemplateEdit = nullptr; // empty: the usual names
    QCheckBox *keepTreeCheckBox = nullptr;
    QCheckBox *clipCheckBox = nullptr;
    QLineEdit *fromHoursEdit = nullptr;
    QLineEdit *fromMinutesEdit = nullptr;
    QLineEdit *fromSecondsEdit = nullptr;
    QLineEdit *toHoursEdit = nullptr;
    QLineEdit *toMinutesEdit = nullptr;
    QLineEdit *toSecondsEdit = nullptr;
    QPushButton *okButton = nullptr;   // 确定
    QPushButton *backButton = nullptr; // 返回

private:
    void buildWidgets();
    void fillFromValues();
    void setClipBoxesEnabled(bool enabled);

    OptionValues &m_values;
    QString m_optionsFilePath;
    MessageSink *m_messages;
};
