#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>

// The choices every encoder command is built from: the rotation, the output
// format, the six encoding settings and the output folder. Lists that the
// window never shows (the nine formats and the six settings) are plain state here.
class ConversionSettings : public QObject
{
    Q_OBJECT

public:
    enum Setting { VideoBitrate, FrameRate, FrameSize, SampleRate, AudioBitrate, SettingCount };
    enum Format { Flv, Rm, Mpg, Avi, Mp4, Mov, PhoneMp4, ThreeGp, Mp3, FormatCount };

    static const QStringList &rotationTexts();     // the rotation list
    static const QStringList &rotationOptions();   // rotationOption for each rotation entry
    static const QStringList &formatTexts();       // all nine formats
    static const QStringList &listedFormatTexts(); // the five in the format list
    static int formatOfListedEntry(int entry);     // list entry -> format, or -1
    static const QStringList &suggestions(Setting setting);
    static const QStringList &channelTexts(); // cmbChannel
    static QString keepSizeMarker() { return u"原始尺寸"_qs; }
    static QString defaultOutputFolder();

    // Formats whose first pass writes the final file; the others need a second pass.
    static bool isSinglePass(int format);
    static bool isTwoPass(int format)
    {
        return format == Rm || format == PhoneMp4 || format == ThreeGp;
    }

    explicit ConversionSettings(QObject *parent = nullptr);

    // The three selection operations; each runs whether the user or code chose.
    void selectRotation(int entry);
    void selectListedFormat(int entry);
    void selectFormat(int index);

    int rotationEntry() const { return m_rotationEntry; }
    QString rotationOption() const { return m_strRotate; }
    void setRotationOption(const QString &option);
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

    // Start-up: rotation entry 0, audio entries 7 / 1 / 1, format 0 and its preset.
    void applyStartupDefaults();
    // End of start-up: MP4 through the format list, then format 4 once more.
    void applyStartupFormat();

Q_SIGNALS:
    void changed();
    void outputFolderChanged(const QString &folder);

private:
    void applyPreset(int format);

    int m_rotationEntry = -1;
    QString m_strRotate;
    int m_shortFormatEntry = -1;
    int m_format = -1;
    std::array<QString, SettingCount> m_texts;
    int m_channelEntry = -1;
    QString m_outputFolder;
};
