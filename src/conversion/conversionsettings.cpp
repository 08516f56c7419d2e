#include "conversionsettings.h"

#include "common/paths.h"
#include "common/platform.h"

namespace {

struct Preset
{
    const char16_t *values[ConversionSettings::SettingCount]; // nullptr: left alone
    int channel;
};

// Written in the order video bitrate, frame rate, size, sample rate, audio bitrate, channels.
const Preset presets[ConversionSettings::FormatCount] = {
    {{u"600", u"29", u"原始尺寸", u"44100", u"320"}, 1},
    {{u"1200", u"29", u"原始尺寸", u"44100", u"320"}, 1},
    {{u"600", u"24", u"原始尺寸", u"28000", u"64"}, 1},
    {{u"600", u"24", u"原始尺寸", u"28000", u"64"}, 1},
    {{u"12000", u"29", u"原始尺寸", u"48000", u"320"}, 1},
    {{u"12000", u"29", u"原始尺寸", u"48000", u"320"}, 1},
    {{u"128", u"29", u"320x240", u"8000", u"12.2"}, 0},
    {{u"128", u"29", u"320x240", u"8000", u"12.2"}, 0},
    {{nullptr, nullptr, nullptr, u"48000", u"320"}, 1},
};

} // namespace

const QStringList &ConversionSettings::rotationTexts()
{
    static const QStringList texts{u"90度顺时针"_qs, u"90度逆时针"_qs, u"水平镜像"_qs,
                                   u"垂直镜像"_qs, u"不旋转"_qs};
    return texts;
}

const QStringList &ConversionSettings::rotationOptions()
{
    static const QStringList options{u"-vf rotate=1"_qs, u"-vf rotate=2"_qs, u"-vf mirror"_qs,
                                     u"-vf flip"_qs, QString()};
    return options;
}

const QStringList &ConversionSettings::formatTexts()
{
    static const QStringList texts{u"RMVB(RealPlayerRMVB)"_qs, u"RM(RealPlayerRM)"_qs,
                                   u"MPG(MPEG2)"_qs,           u"AVI(Windows Media Player格式)"_qs,
                                   u"MP4(高清MPEG4格式)"_qs,   u"MOV(QuickTime格式)"_qs,
                                   u"MP4(手机MP4格式)"_qs,     u"3GP(手机3GP格式)"_qs,
                                   u"MP3(纯音频格式)"_qs};
    return texts;
}

const QStringList &ConversionSettings::listedFormatTexts()
{
    static const QStringList texts{u"MP4格式(高质量H264/MPEG4)"_qs, u"MPG格式(MPEG格式视频)"_qs,
                                   u"AVI格式(Windows标准视频)"_qs, u"MOV格式(苹果QuickTime视频)"_qs,
                                   u"FLV格式(Flash视频格式)"_qs};
    return texts;
}

int ConversionSettings::formatOfListedEntry(int entry)
{
    static constexpr std::array<int, 5> map{Mp4, Mpg, Avi, Mov, Flv};
    return entry >= 0 && entry < int(map.size()) ? map[size_t(entry)] : -1;
}

const QStringList &ConversionSettings::suggestions(Setting setting)
{
    static const QStringList lists[SettingCount] = {
        {u"40"_qs, u"80"_qs, u"120"_qs, u"128"_qs, u"256"_qs, u"384"_qs, u"512"_qs, u"600"_qs,
         u"640"_qs, u"768"_qs, u"800"_qs, u"900"_qs, u"1000"_qs, u"1500"_qs},
        {u"15"_qs, u"23"_qs, u"29"_qs},
        {u"原始尺寸"_qs, u"128x96"_qs, u"160x120"_qs, u"176x144"_qs, u"320x180"_qs, u"320x240"_qs,
         u"352x288"_qs, u"640x272"_qs, u"480x480"_qs, u"640x360"_qs, u"640x480"_qs, u"720x306"_qs,
         u"720x320"_qs},
        {u"48000"_qs, u"44100"_qs, u"32000"_qs, u"24000"_qs, u"22050"_qs, u"16000"_qs, u"12050"_qs,
         u"8000"_qs},
        {u"10.2"_qs, u"12.2"_qs, u"32"_qs, u"48"_qs, u"56"_qs, u"64"_qs, u"80"_qs, u"96"_qs,
         u"112"_qs, u"128"_qs, u"192"_qs, u"224"_qs, u"256"_qs, u"320"_qs},
    };
    return lists[setting];
}

const QStringList &ConversionSettings::channelTexts()
{
    static const QStringList texts{u"单声道"_qs, u"双声道"_qs};
    return texts;
}

QString ConversionSettings::defaultOutputFolder()
{
    return withTrailingSeparator(Platform::homeFolder()) + u"Torvane输出"_qs;
}

bool ConversionSettings::isSinglePass(int format)
{
    return format == Flv || format == Mpg || format == Avi || format == Mp4 || format == Mov;
}

ConversionSettings::ConversionSettings(QObject *parent) : QObject(parent) {}

void ConversionSettings::selectRotation(int entry)
{
    if (entry < 0 || entry >= rotationOptions().size())
        return;
    m_rotationEntry = entry;
    m_strRotate = rotationOptions()[entry];
    Q_EMIT changed();
}

void ConversionSettings::setRotationOption(const QString &option)
{
    m_strRotate = option;
    Q_EMIT changed();
}

void ConversionSettings::selectListedFormat(int entry)
{
    const int format = formatOfListedEntry(entry);
    if (format < 0)
        return;
    m_shortFormatEntry = entry;
    selectFormat(format);
}

void ConversionSettings::selectFormat(int index)
{
    if (index < 0 || index >= FormatCount)
        return;
    m_format = index;
    applyPreset(index);
    Q_EMIT changed();
}

void ConversionSettings::applyPreset(int format)
{
    const Preset &preset = presets[format];
    for (int s = 0; s < SettingCount; ++s) {
        if (preset.values[s])
            m_texts[size_t(s)] = QString::fromUtf16(preset.values[s]);
    }
    m_channelEntry = preset.channel;
}

void ConversionSettings::setText(Setting setting, const QString &text)
{
    m_texts[setting] = text;
    Q_EMIT changed();
}

int ConversionSettings::entry(Setting setting) const
{
    return int(suggestions(setting).indexOf(m_texts[setting]));
}

void ConversionSettings::selectEntry(Setting setting, int entry)
{
    const QStringList &list = suggestions(setting);
    if (entry < 0 || entry >= list.size())
        return;
    setText(setting, list[entry]);
}

void ConversionSettings::selectChannel(int entry)
{
    if (entry < 0 || entry >= channelTexts().size())
        return;
    m_channelEntry = entry;
    Q_EMIT changed();
}

void ConversionSettings::setOutputFolder(const QString &folder)
{
    if (folder == m_outputFolder)
        return;
    m_outputFolder = folder;
    Q_EMIT outputFolderChanged(folder);
}

void ConversionSettings::applyStartupDefaults()
{
    selectRotation(0);
    m_strRotate = rotationOptions()[0];
    selectEntry(AudioBitrate, 7);
    selectEntry(SampleRate, 1);
    selectChannel(1);
    selectFormat(Flv);
    setOutputFolder(defaultOutputFolder());
}

void ConversionSettings::applyStartupFormat()
{
    selectListedFormat(0);
    selectFormat(Mp4);
}
