// Arbitrary bytes as setup.ini, options.ini and folders.ini: read, write back, read again.
#include "fuzzinput.h"

#include "shell/settingsfiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

QTemporaryDir *folder = nullptr;

QString filePath(const QString &name)
{
    return folder->filePath(name);
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes) == bytes.size());
}

void checkSetup(const QString &path)
{
    const SetupValues values = readSetupFile(path);
    // Quotes inside a bare field cannot be written back as they were.
    if (values.outputFolder && values.outputFolder->contains(u'"'))
        return;
    const QString again = filePath(u"setup-again.ini"_qs);
    FUZZ_CHECK(writeSetupFile(again, values.bitrateEntry.value_or(0),
                              values.sampleRateEntry.value_or(0), values.channelEntry.value_or(0),
                              values.outputFolder.value_or(QString()),
                              values.formatEntry.value_or(0)));
    const SetupValues back = readSetupFile(again);
    FUZZ_CHECK(back.bitrateEntry == values.bitrateEntry.value_or(0));
    FUZZ_CHECK(back.sampleRateEntry == values.sampleRateEntry.value_or(0));
    FUZZ_CHECK(back.channelEntry == values.channelEntry.value_or(0));
    FUZZ_CHECK(back.outputFolder == values.outputFolder.value_or(QString()));
    FUZZ_CHECK(back.formatEntry == values.formatEntry.value_or(0));
}

void checkOptions(const QString &path)
{
    OptionValues values;
    FUZZ_CHECK(readOptionsFile(path, values));
    const QString again = filePath(u"options-again.ini"_qs);
    FUZZ_CHECK(writeOptionsFile(again, values));
    OptionValues back{1, 1, 1, 1, 1, 9, 9};
    FUZZ_CHECK(readOptionsFile(again, back));
    FUZZ_CHECK(back.soundChoice == values.soundChoice && back.clipEnabled == values.clipEnabled &&
               back.clipFromSeconds == values.clipFromSeconds &&
               back.clipToSeconds == values.clipToSeconds &&
               back.losslessRotation == values.losslessRotation &&
               back.keepMetadata == values.keepMetadata &&
               back.parallelJobs == values.parallelJobs);
}

void checkFolders(const QString &path)
{
    const std::optional<QString> folder = readFoldersFile(path);
    if (!folder || folder->contains(u'"'))
        return;
    const QString again = filePath(u"folders-again.ini"_qs);
    FUZZ_CHECK(writeFoldersFile(again, *folder));
    FUZZ_CHECK(readFoldersFile(again) == folder);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Memory-backed where there is such a folder: two writes per input.
    const QString base = QDir(u"/dev/shm"_qs).exists() ? u"/dev/shm"_qs : QDir::tempPath();
    folder = new QTemporaryDir(base + u"/torvane-fuzz-XXXXXX"_qs);
    FUZZ_CHECK(folder->isValid());
    std::atexit([] { delete folder; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The readers stop at 64 KiB; a longer file could not come back whole.
    if (size > 16 * 1024)
        return 0;
    const QString path = filePath(u"input.ini"_qs);
    writeBytes(path, fuzzBytes(data, size));
    checkSetup(path);
    checkOptions(path);
    checkFolders(path);
    return 0;
}
