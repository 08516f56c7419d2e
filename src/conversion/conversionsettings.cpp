#include "conversionsettings.h"

#include "common/paths.h"
#include "common/platform.h"

static_assert(int(ConversionSettings::SettingCount) == int(JobSettings::TextCount) &&
              int(ConversionSettings::AudioBitrate) == int(JobSettings::AudioBitrate));

namespace {

struct RotationEntry
{
    const char16_t *text;
    const char16_t *cliName; // torvane-cli --rotate
    PictureTransform transform;
};

// Entries keep their places: setup files and scripts name them by number.
const std::array<RotationEntry, 6> rotationEntries{{
    {u"90度顺时针", u"cw", PictureTransform::turn(1)},
    {u"90度逆时针", u"ccw", PictureTransform::turn(-1)},
    {u"水平镜像", u"hmirror", PictureTransform::mirror()},
    {u"垂直镜像", u"vflip", PictureTransform::flip()},
    {u"不旋转", u"none", PictureTransform()},
    {u"旋转180度", u"180", PictureTransform::turn(2)},
}};

} // namespace

QStringList ConversionSettings::rotationTexts()
{
    QStringList texts;
    for (const RotationEntry &entry : rotationEntries)
        texts << QString::fromUtf16(entry.text);
    return texts;
}

QStringList ConversionSettings::rotationCliNames()
{
    QStringList names;
    for (const RotationEntry &entry : rotationEntries)
        names << QString::fromUtf16(entry.cliName);
    return names;
}

PictureTransform ConversionSettings::rotationOfEntry(int entry)
{
    return entry >= 0 && entry < int(rotationEntries.size())
               ? rotationEntries[size_t(entry)].transform
               : PictureTransform();
}

int ConversionSettings::rotationEntryOf(PictureTransform rotation)
{
    for (size_t entry = 0; entry < rotationEntries.size(); ++entry) {
        if (rotationEntries[entry].transform == rotation)
            return int(entry);
    }
    return -1;
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

ConversionSettings::ConversionSettings(QObject *parent) : QObject(parent) {}

void ConversionSettings::selectRotation(int entry)
{
    if (entry < 0 || entry >= int(rotationEntries.size()))
        return;
    m_rotationEntry = entry;
    m_rotation = rotationOfEntry(entry);
    Q_EMIT changed();
}

void ConversionSettings::selectListedFormat(int entry)
{
    const int format = Formats::formatOfListedEntry(entry);
    if (format < 0)
        return;
    m_shortFormatEntry = entry;
    selectFormat(format);
}

void ConversionSettings::selectFormat(int index)
{
    if (!Formats::isValid(index))
        return;
    m_format = index;
    applyPreset(index);
    Q_EMIT changed();
}

void ConversionSettings::applyPreset(int format)
{
    ::applyPreset(Formats::at(format).preset, m_texts, m_channelEntry);
}

void ConversionSettings::setClip(const std::optional<ClipRange> &clip)
{
    if (clip == m_clip)
        return;
    m_clip = clip;
    Q_EMIT changed();
}

void ConversionSettings::setSourceOrientation(SourceOrientation orientation)
{
    if (orientation == m_sourceOrientation)
        return;
    m_sourceOrientation = orientation;
    Q_EMIT changed();
}

JobSettings ConversionSettings::jobSettings() const
{
    JobSettings job;
    if (Formats::isValid(m_format))
        job.format = m_format;
    job.rotation = m_rotation;
    job.texts = m_texts;
    if (m_channelEntry >= 0)
        job.channelEntry = m_channelEntry;
    job.clip = m_clip;
    job.sourceOrientation = m_sourceOrientation;
    return job;
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
    selectEntry(AudioBitrate, 7);
    selectEntry(SampleRate, 1);
    selectChannel(1);
    selectFormat(Formats::Flv);
    setOutputFolder(defaultOutputFolder());
}

void ConversionSettings::applyStartupFormat()
{
    selectListedFormat(0);
    selectFormat(Formats::formatOfListedEntry(0));
}
