#pragma once

#include <QString>

// A running program's own folder for intermediate files, inside the user's
// private temporary folder. Two programs (two command-line batches, or one
// beside the window) never share one. It is removed when the program ends; one
// left by a program that died is removed by the next program that starts, and
// so is a fallback base of such a program (see privateBase()).
class ScratchFolder
{
public:
    // base: where the per-program folders go; empty: the private default.
    explicit ScratchFolder(const QString &base = {});
    ~ScratchFolder();

    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;

    bool isValid() const { return !m_path.isEmpty(); }
    QString path() const { return m_path; }
    // Removes the folder now (the destructor does it otherwise).
    void remove();

    // The per-user private folder; when the usual one is not safe (another
    // user's, open to others, a link), a fresh one only this user can enter.
    static QString privateBase();

private:
    QString m_path;
    QString m_ownBase; // a fallback base made for this program alone
    int m_lockFd = -1;
    int m_baseLockFd = -1; // held on the fallback base, so others leave it alone
};
