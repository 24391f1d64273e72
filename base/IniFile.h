#pragma once
// A small reader and writer for Windows-style initialization files that behaves
// like the platform's private-profile functions: section and key names match
// without regard to case, a write updates the key where it stands and keeps every
// other line (other sections, comments, a user's own entries), a missing key is
// added at the end of its section and a missing section at the end of the file.
// Text is 8-bit (Latin-1) so that any byte survives a round trip.
//
// QSettings is not used: it escapes a space in a section name as %20, which the
// Windows tools sharing the file would not find.

#include <QByteArray>
#include <QString>

#include <vector>

class IniFile {
public:
    // Reads `path`; a missing or unreadable file gives an empty profile.
    bool Load(const QString& path);
    void LoadFromBytes(const QByteArray& bytes);
    // Writes the whole profile atomically; on failure the old file stays as it was
    // and `error` says why.
    bool Save(const QString& path, QString* error = nullptr) const;
    QByteArray ToBytes() const;

    // A value longer than the platform's 260-character buffer is cut to 259.
    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    // Leading blanks, an optional sign and decimal digits; anything else reads as 0.
    int ReadInt(const QString& section, const QString& key, int def) const;
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInt(const QString& section, const QString& key, int value);

private:
    struct Line {
        QString text; // as read, without the line end
    };
    int FindSection(const QString& section) const;
    // Index of the key's line inside the section starting at `sectionLine`, or -1.
    int FindKey(int sectionLine, const QString& key) const;
    int SectionEnd(int sectionLine) const;
    // The line of `key` in `section`, or -1.
    int FindValueLine(const QString& section, const QString& key) const;
    // The value of a key line as the platform reads it (quotes, 260-character buffer).
    QString ValueOfLine(int line) const;
    static bool IsSectionHeader(const QString& line, QString* name);
    static bool SplitKey(const QString& line, QString* key, QString* value);

    std::vector<QString> m_lines;
    bool m_crlf = true;
};
