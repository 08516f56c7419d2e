// Writes the completion chime: a short rising two-note tone as 16-bit mono
// PCM WAV at 22050 Hz. Generated at build time so no binary media is kept.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <vector>

namespace {

constexpr int SampleRate = 22050;
constexpr double NoteSeconds = 0.2;
constexpr double FadeSeconds = 0.012;
constexpr double Peak = 0.55;

void put16(std::vector<unsigned char> &out, uint32_t value)
{
    out.push_back(static_cast<unsigned char>(value & 0xFF));
    out.push_back(static_cast<unsigned char>((value >> 8) & 0xFF));
}

void put32(std::vector<unsigned char> &out, uint32_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

void putTag(std::vector<unsigned char> &out, const char (&tag)[5])
{
    out.insert(out.end(), tag, tag + 4);
}

// A soft bell-like note: fundamental plus a quiet octave, decaying, with short
// fades at both ends so it starts and stops without a click.
void addNote(std::vector<int16_t> &samples, double frequency)
{
    const int count = static_cast<int>(NoteSeconds * SampleRate);
    const int fade = static_cast<int>(FadeSeconds * SampleRate);
    for (int i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / SampleRate;
        double envelope = std::exp(-4.0 * t);
        if (i < fade)
            envelope *= 0.5 - 0.5 * std::cos(std::numbers::pi * i / fade);
        if (i >= count - fade)
            envelope *= 0.5 - 0.5 * std::cos(std::numbers::pi * (count - 1 - i) / fade);
        const double phase = 2 * std::numbers::pi * frequency * t;
        const double value = (0.8 * std::sin(phase) + 0.2 * std::sin(2 * phase)) * envelope;
        samples.push_back(static_cast<int16_t>(std::lround(value * Peak * 32767)));
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: mksound OUTPUT.wav\n");
        return 2;
    }

    std::vector<int16_t> samples;
    addNote(samples, 783.99);  // G5
    addNote(samples, 1174.66); // D6, a fifth above

    const auto dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::vector<unsigned char> file;
    putTag(file, "RIFF");
    put32(file, 36 + dataBytes);
    putTag(file, "WAVE");
    putTag(file, "fmt ");
    put32(file, 16);             // PCM format chunk size
    put16(file, 1);              // PCM
    put16(file, 1);              // mono
    put32(file, SampleRate);     // samples per second
    put32(file, SampleRate * 2); // bytes per second
    put16(file, 2);              // bytes per frame
    put16(file, 16);             // bits per sample
    putTag(file, "data");
    put32(file, dataBytes);
    for (int16_t sample : samples)
        put16(file, static_cast<uint16_t>(sample));

    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(file.data()),
              static_cast<std::streamsize>(file.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "mksound: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
