#pragma once

#include "common/formats.h"
#include "common/transform.h"

#include <QString>

#include <array>
#include <optional>

// The part of the source every pass of a job converts.
struct ClipRange
{
    int startSeconds = 0;
    int lengthSeconds = 0; // 0: to the end

    friend bool operator==(const ClipRange &, const ClipRange &) = default;
};

// What the source's orientation tag (its display matrix) counts for: players
// follow it; some cameras write a wrong one, which is then best ignored.
enum class SourceOrientation { Follow, Ignore };

// What one job is converted with. A job takes the choices of the moment it is
// added, and keeps them until they are changed for it; a running job's never change.
struct JobSettings
{
    // The encoding settings, as texts the encoders take, in this order.
    enum Text { VideoBitrate, FrameRate, FrameSize, SampleRate, AudioBitrate, TextCount };

    JobSettings() { setFormat(Formats::Mp4); }

    int format = Formats::Mp4;
    PictureTransform rotation = PictureTransform::turn(1);
    std::array<QString, TextCount> texts;
    int channelEntry = 1; // 0 mono, 1 stereo
    std::optional<ClipRange> clip;
    SourceOrientation sourceOrientation = SourceOrientation::Follow;

    // The format, with the encoding settings its preset writes.
    void setFormat(int index);

    friend bool operator==(const JobSettings &, const JobSettings &) = default;
};

// Writes what the preset sets; a preset leaves some settings as they are.
void applyPreset(const Preset &preset, std::array<QString, JobSettings::TextCount> &texts,
                 int &channelEntry);
