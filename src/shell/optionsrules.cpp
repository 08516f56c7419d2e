#include "optionsrules.h"

#include "common/numbers.h"

#include <algorithm>
#include <iterator>

namespace {

struct HMS
{
    int64_t h, m, s;
};

// Floor division keeps minutes and seconds within 0..59 even for a negative
// hand-edited value, so the dialog can accept what it showed.
HMS split(int64_t t)
{
    auto floorDiv = [](int64_t a, int64_t b) {
        return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
    };
    const int64_t h = floorDiv(t, 3600);
    const int64_t m = floorDiv(t - h * 3600, 60);
    return {h, m, t - h * 3600 - m * 60};
}

double seconds(const QString &h, const QString &m, const QString &s)
{
    return leadingNumber(h) * 3600 + leadingNumber(m) * 60 + leadingNumber(s);
}

} // namespace

ClipFields clipFieldsFromSeconds(int32_t from, int32_t to)
{
    const HMS f = split(from);
    const HMS t = split(to);
    return {QString::number(f.h), QString::number(f.m), QString::number(f.s),
            QString::number(t.h), QString::number(t.m), QString::number(t.s)};
}

int soundEntryFromValue(int16_t soundChoice)
{
    return soundChoice == 0 || soundChoice == 1 ? soundChoice : -1;
}

bool cutterCheckedFromValue(int16_t clipEnabled)
{
    return clipEnabled != 0;
}

AcceptResult acceptOptions(int soundEntry, bool cutterChecked, const ClipFields &fields)
{
    using Box = OptionsFailure::Box;
    AcceptResult result;

    const struct
    {
        const QString &text;
        Box box;
        const char16_t *time;
        bool minutes;
    } checks[] = {
        {fields.fromM, Box::FromMinutes, u"开始时间的", true},
        {fields.toM, Box::ToMinutes, u"结束时间的", true},
        {fields.fromS, Box::FromSeconds, u"开始时间的", false},
        {fields.toS, Box::ToSeconds, u"结束时间的", false},
    };
    for (const auto &check : checks) {
        if (leadingNumber(check.text) > 59) {
            const QString time = QString::fromUtf16(check.time);
            if (check.minutes)
                result.failure = OptionsFailure{check.box, time + u"分钟必须小于60"_qs, u"分钟"_qs};
            else
                result.failure = OptionsFailure{check.box, time + u"秒必须小于60"_qs, u"秒"_qs};
            return result;
        }
    }

    const QString *all[] = {&fields.fromH, &fields.fromM, &fields.fromS,
                            &fields.toH,   &fields.toM,   &fields.toS};
    result.uncheck = std::all_of(std::begin(all), std::end(all),
                                 [](const QString *text) { return leadingNumber(*text) == 0; });
    if (result.uncheck)
        cutterChecked = false;

    const double from = seconds(fields.fromH, fields.fromM, fields.fromS);
    const double to = seconds(fields.toH, fields.toM, fields.toS);
    // An empty or reversed range would cut nothing out of any video.
    if (cutterChecked && to <= from) {
        result.failure =
            OptionsFailure{Box::ToHours, u"结束时间必须晚于开始时间"_qs, u"结束时间"_qs};
        return result;
    }

    result.values.soundChoice = toInt16(soundEntry);
    result.values.clipEnabled = cutterChecked ? 1 : 0;
    result.values.clipFromSeconds = toInt32(from);
    result.values.clipToSeconds = toInt32(to);
    return result;
}
