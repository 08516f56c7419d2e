// libFuzzer changes digits in place and keeps their count, so it seldom gets
// to the ends of the double range, where reading numbers from text goes wrong
// (overflow to infinity, integer conversions out of range). One mutation in
// four here puts an extreme figure in place of a number of the input instead.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string_view>
#include <vector>

extern "C" size_t LLVMFuzzerMutate(uint8_t *data, size_t size, size_t maxSize);

namespace {

constexpr std::string_view Extremes[] = {
    "0",           "-1",         "0.5",
    "1e308",       "1.7e308",    "4.9e-324",
    "1e-300",      "2147483648", "4294967296",
    "-2147483649", "1e19",       "9223372036854775808",
    "nan",         "inf",        "99999999999999999999999999999999999999"};

bool isDigit(uint8_t c)
{
    return c >= '0' && c <= '9';
}

bool continuesNumber(uint8_t c)
{
    return isDigit(c) || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-';
}

} // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t maxSize,
                                          unsigned int seed)
{
    std::minstd_rand random(seed);
    if (random() % 4 != 0)
        return LLVMFuzzerMutate(data, size, maxSize);

    std::vector<size_t> starts;
    for (size_t i = 0; i < size; ++i)
        if (isDigit(data[i]) && (i == 0 || !continuesNumber(data[i - 1])))
            starts.push_back(i);
    if (starts.empty())
        return LLVMFuzzerMutate(data, size, maxSize);

    const size_t start = starts[random() % starts.size()];
    size_t end = start;
    while (end < size && continuesNumber(data[end]))
        ++end;
    const std::string_view figure = Extremes[random() % std::size(Extremes)];
    const size_t newSize = size - (end - start) + figure.size();
    if (newSize > maxSize)
        return LLVMFuzzerMutate(data, size, maxSize);
    std::memmove(data + start + figure.size(), data + end, size - end);
    std::memcpy(data + start, figure.data(), figure.size());
    return newSize;
}
