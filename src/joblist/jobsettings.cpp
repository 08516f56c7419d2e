#include "jobsettings.h"

void applyPreset(const Preset &preset, std::array<QString, JobSettings::TextCount> &texts,
                 int &channelEntry)
{
    const char16_t *values[JobSettings::TextCount] = {preset.videoBitrate, preset.frameRate,
                                                      preset.frameSize, preset.sampleRate,
                                                      preset.audioBitrate};
    for (int i = 0; i < JobSettings::TextCount; ++i) {
        if (values[i])
            texts[size_t(i)] = QString::fromUtf16(values[i]);
    }
    channelEntry = preset.channelEntry;
}

void JobSettings::setFormat(int index)
{
    if (!Formats::isValid(index))
        return;
    format = index;
    applyPreset(Formats::at(index).preset, texts, channelEntry);
}
