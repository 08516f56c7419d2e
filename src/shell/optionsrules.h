#pragma once

#include "settingsfiles.h"

#include <QString>

#include <cstdint>
#include <optional>

// The six clip boxes of the options dialog, as shown.
struct ClipFields
{
    QString fromH, fromM, fromS, toH, toM, toS;
};

// A refused accept: which box is wrong and the message box to show.
struct OptionsFailure
{
    enum class Box { FromMinutes, ToMinutes, FromSeconds, ToSeconds, ToHours };
    Box box;
    QString text;
    QString title;
};

struct AcceptResult
{
    std::optional<OptionsFailure> failure; // set: nothing else applies
    OptionValues values;
    bool uncheck = false; // the cutter box is to be unchecked (all boxes zero)
};

// Splits the stored clip bounds into hours, minutes and seconds texts.
ClipFields clipFieldsFromSeconds(int32_t from, int32_t to);

// The sound list's entry for a stored value; -1 (no selection) for anything
// but 0 or 1, as a hand-edited file may hold.
int soundEntryFromValue(int16_t soundChoice);

// The cutter box state for a stored value.
bool cutterCheckedFromValue(int16_t clipEnabled);

// soundEntry is the list's current index, -1 when nothing is selected. With
// the cutter checked, minutes and seconds must be below 60 and the end must
// come after the start; the message names the time it is about.
AcceptResult acceptOptions(int soundEntry, bool cutterChecked, const ClipFields &fields);
