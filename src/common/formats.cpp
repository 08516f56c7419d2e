#include "formats.h"

#include <array>

namespace {

// RealMedia gets AC-3 audio: it is the only audio codec both ffmpeg's rm muxer
// accepts and ffmpeg can encode (RealAudio's own codecs have no encoder).
// 3GP gets MPEG-4 video rather than ffmpeg's H.263, which only takes fixed sizes.
constexpr std::array<Container, 11> containers{{
    {u"flv", u"flv", u"flv", u"libmp3lame", false},
    {u"mp4", u"mp4", u"libx264", u"aac", true},
    {u"m4v", u"mp4", u"libx264", u"aac", true},
    {u"mov", u"mov", u"libx264", u"aac", true},
    {u"avi", u"avi", u"mpeg4", u"libmp3lame", false},
    {u"mpg", u"mpeg", u"mpeg1video", u"mp2", false},
    {u"mpeg", u"mpeg", u"mpeg1video", u"mp2", false},
    {u"rm", u"rm", u"rv10", u"ac3", false},
    {u"3gp", u"3gp", u"mpeg4", u"aac", false},
    {u"mp3", u"mp3", nullptr, u"libmp3lame", false},
    {u"mkv", u"matroska", u"libx264", u"libmp3lame", false},
}};

// Index 0 is FLV, whatever its list text says. The list shows MP4, MPG, AVI,
// MOV and FLV; MP4 is its first entry and so the format every run starts with.
constexpr std::array<Format, Formats::Count> formats{{
    {Formats::Flv,
     u"RMVB(RealPlayerRMVB)",
     u"FLV",
     u"FLV格式(Flash视频格式)",
     4,
     u"flv",
     u"flv",
     FirstPass::X264Avi,
     SecondPass::None,
     {u"600", u"29", u"原始尺寸", u"44100", u"320", 1}},
    {Formats::Rm,
     u"RM(RealPlayerRM)",
     u"RM",
     nullptr,
     -1,
     u"rm",
     u"rm",
     FirstPass::Intermediate,
     SecondPass::RealMedia,
     {u"1200", u"29", u"原始尺寸", u"44100", u"320", 1}},
    {Formats::Mpg,
     u"MPG(MPEG2)",
     u"MPG",
     u"MPG格式(MPEG格式视频)",
     1,
     u"mpg",
     u"mpg",
     FirstPass::Mpeg1,
     SecondPass::None,
     {u"600", u"24", u"原始尺寸", u"28000", u"64", 1}},
    {Formats::Avi,
     u"AVI(Windows Media Player格式)",
     u"AVI",
     u"AVI格式(Windows标准视频)",
     2,
     u"avi",
     u"avi",
     FirstPass::Mpeg1,
     SecondPass::None,
     {u"600", u"24", u"原始尺寸", u"28000", u"64", 1}},
    {Formats::Mp4,
     u"MP4(高清MPEG4格式)",
     u"MP4",
     u"MP4格式(高质量H264/MPEG4)",
     0,
     u"mp4",
     u"mp4",
     FirstPass::X264,
     SecondPass::None,
     {u"12000", u"29", u"原始尺寸", u"48000", u"320", 1}},
    {Formats::Mov,
     u"MOV(QuickTime格式)",
     u"MOV",
     u"MOV格式(苹果QuickTime视频)",
     3,
     u"mov",
     u"mov",
     FirstPass::X264,
     SecondPass::None,
     {u"12000", u"29", u"原始尺寸", u"48000", u"320", 1}},
    {Formats::PhoneMp4,
     u"MP4(手机MP4格式)",
     u"手机MP4",
     nullptr,
     -1,
     u"phone-mp4",
     u"mp4",
     FirstPass::Intermediate,
     SecondPass::Phone,
     {u"128", u"29", u"320x240", u"8000", u"12.2", 0}},
    {Formats::ThreeGp,
     u"3GP(手机3GP格式)",
     u"3GP",
     nullptr,
     -1,
     u"3gp",
     u"3gp",
     FirstPass::Intermediate,
     SecondPass::Phone,
     {u"128", u"29", u"320x240", u"8000", u"12.2", 0}},
    {Formats::Mp3,
     u"MP3(纯音频格式)",
     u"MP3",
     nullptr,
     -1,
     u"mp3",
     u"mp3",
     FirstPass::AudioOnly,
     SecondPass::None,
     {nullptr, nullptr, nullptr, u"48000", u"320", 1}},
}};

constexpr bool rowsInIndexOrder()
{
    for (size_t i = 0; i < formats.size(); ++i)
        if (formats[i].index != int(i))
            return false;
    return true;
}
static_assert(rowsInIndexOrder(), "each format's row stands at its index");

} // namespace

const Container &Format::container() const
{
    return *Formats::containerForExtension(extension);
}

bool Format::rotatesLosslessly() const
{
    return secondPass == SecondPass::None && firstPass != FirstPass::AudioOnly &&
           container().displayMatrix;
}

namespace Formats {

bool isValid(int index)
{
    return index >= 0 && index < Count;
}

const Format &at(int index)
{
    return formats[size_t(index)];
}

QStringList names()
{
    QStringList result;
    for (const Format &f : formats)
        result << QString::fromUtf16(f.name);
    return result;
}

QStringList cliNames()
{
    QStringList result;
    for (const Format &f : formats)
        result << QString::fromUtf16(f.cliName);
    return result;
}

int indexOfCliName(QStringView name)
{
    for (const Format &f : formats)
        if (name == QStringView(f.cliName))
            return f.index;
    return -1;
}

QStringList listedNames()
{
    QStringList result;
    for (int entry = 0;; ++entry) {
        const int format = formatOfListedEntry(entry);
        if (format < 0)
            return result;
        result << QString::fromUtf16(formats[size_t(format)].listedName);
    }
}

int formatOfListedEntry(int entry)
{
    for (const Format &f : formats)
        if (entry >= 0 && f.listedEntry == entry)
            return f.index;
    return -1;
}

QStringList losslessNames()
{
    QStringList result;
    for (int entry = 0; formatOfListedEntry(entry) >= 0; ++entry) {
        const Format &f = at(formatOfListedEntry(entry));
        if (f.rotatesLosslessly())
            result << QString::fromUtf16(f.shortName);
    }
    return result;
}

const Container *containerForExtension(QStringView extension)
{
    for (const Container &c : containers)
        if (extension.compare(QStringView(c.extension), Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

const Container *containerForMuxer(QStringView muxer)
{
    for (const Container &c : containers)
        if (muxer == QStringView(c.muxer))
            return &c;
    return nullptr;
}

} // namespace Formats
