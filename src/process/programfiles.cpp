#include "process/programfiles.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString encoderProbe = u"conv"_qs;

// The copy beside the program wins so that a build tree or a portable copy
// runs its own files even when an installed copy exists as well.
QString besideOrInstalled(const QString &beside, const QString &installed, const QString &probe)
{
    if (QFileInfo::exists(beside + u'/' + probe) || !QFileInfo::exists(installed + u'/' + probe))
        return beside;
    return installed;
}

} // namespace

QString encoderFolder(const QString &programFolder)
{
    return besideOrInstalled(programFolder + u"/data"_qs,
                             QDir::cleanPath(programFolder + u"/../libexec/torvane"_qs),
                             encoderProbe);
}

QString programDataFile(const QString &programFolder, const QString &name)
{
    const QString installed = QDir::cleanPath(programFolder + u"/../share/torvane"_qs);
    return besideOrInstalled(programFolder, installed, name) + u'/' + name;
}
