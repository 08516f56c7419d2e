#pragma once

#include "common/formats.h"
#include "common/transform.h"
#include "joblist/jobsettings.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>

// The choices every encoder command is built from: the rotation, the output
// format (common/formats.h), the six encoding settings and the output folder.
// Lists that the window never shows (the nine formats and the six settings)
// are plain state here.
class ConversionSettings : public QObject
{
    Q_OBJECT

public:
    enum Setting { VideoBitrate, FrameRate, FrameSize, SampleRate, AudioBitrate, SettingCount };

    // The rotation list's texts, and what each entry does to the picture.
    static QStringList rotationTexts();
    static QStringList rotationCliNames(); // torvane-cli's names for the entries
    static PictureTransform rotationOfEntry(int entry);
    static int rotationEntryOf(PictureTransform rotation); // -1: not in the list
    static const QStringList &suggestions(Setting setting);
    static const QStringList &channelTexts(); // cmbChannel
    static QString keepSizeMarker() { return QString::fromUtf16(KeepSizeMarker); }
    static QString defaultOutputFolder();

    explicit ConversionSettings(QObject *parent = nullptr);

    // The three selection operations; each runs whether the user or code chose.
    void selectRotation(int entry);
    void selectListedFormat(int entry);
    void selectFormat(int index);

    int rotationEntry() const { return m_rotationEntry; }
    PictureTransform rotation() const { return m_rotation; }
    int listedFormatEntry() const { return m_shortFormatEntry; }
    int format() const { return m_format; }

    QString text(Setting setting) const { return m_texts[setting]; }
    void setText(Setting setting, const QString &text);
    // The entry of the suggestion list that the text equals, or -1.
    int entry(Setting setting) const;
    void selectEntry(Setting setting, int entry);

    int channelEntry() const { return m_channelEntry; }
    void selectChannel(int entry);

    QString outputFolder() const { return m_outputFolder; }
    void setOutputFolder(const QString &folder);

    // The clip range of the options, for the jobs added from now on.
    std::optional<ClipRange> clip() const { return m_clip; }
    void setClip(const std::optional<ClipRange> &clip);

    // What the orientation tag of the sources added from now on counts for.
    SourceOrientation sourceOrientation() const { return m_sourceOrientation; }
    void setSourceOrientation(SourceOrientation orientation);

    // What a job added now is converted with.
    JobSettings jobSettings() const;

    // Start-up: rotation entry 0, audio entries 7 / 1 / 1, format 0 and its preset.
    void applyStartupDefaults();
    // End of start-up: the format list's first entry (MP4), then its format once more.
    void applyStartupFormat();

Q_SIGNALS:
    void changed();
    void outputFolderChanged(const QString &folder);

private:
    void applyPreset(int format);

    int m_rotationEntry = -1;
    PictureTransform m_rotation;
    int m_shortFormatEntry = -1;
    int m_format = -1;
    std::array<QString, SettingCount> m_texts;
    int m_channelEntry = -1;
    QString m_outputFolder;
    std::optional<ClipRange> m_clip;
    SourceOrientation m_sourceOrientation = SourceOrientation::Follow;
};
