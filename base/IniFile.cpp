#include "base/IniFile.h"

#include "base/FileSeam.h"
#include "base/SafeFile.h"

#include <QFile>

namespace {
constexpr int kProfileBufferChars = 260;
}

bool IniFile::Load(const QString& path) {
    m_lines.clear();
    QFile f(path);
    if (FileSeam::Refuses(FileSeam::Step::Read, path) || !f.open(QIODevice::ReadOnly))
        return false;
    LoadFromBytes(f.readAll());
    return true;
}

void IniFile::LoadFromBytes(const QByteArray& bytes) {
    m_lines.clear();
    m_crlf = bytes.isEmpty() || bytes.contains("\r\n");
    const QString text = QString::fromLatin1(bytes);
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        QString line = text.mid(start, end - start);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        m_lines.push_back(line);
        start = end + 1;
    }
}

QByteArray IniFile::ToBytes() const {
    QByteArray out;
    const char* eol = m_crlf ? "\r\n" : "\n";
    for (const QString& l : m_lines) {
        out += l.toLatin1();
        out += eol;
    }
    return out;
}

bool IniFile::Save(const QString& path, QString* error) const {
    // Where a read-only folder or a full disk refuses the temporary file or its
    // rename (the tests' seam), nothing is written.
    if (FileSeam::Refuses(FileSeam::Step::OpenForWrite, path) ||
        FileSeam::Refuses(FileSeam::Step::Commit, path)) {
        if (error)
            *error = QStringLiteral("the file could not be written");
        return false;
    }
    return WriteFileAtomically(path, ToBytes(), error);
}

bool IniFile::IsSectionHeader(const QString& line, QString* name) {
    const QString t = line.trimmed();
    if (!t.startsWith(QLatin1Char('[')))
        return false;
    const qsizetype close = t.indexOf(QLatin1Char(']'));
    if (close < 0)
        return false;
    *name = t.mid(1, close - 1).trimmed();
    return true;
}

bool IniFile::SplitKey(const QString& line, QString* key, QString* value) {
    const QString t = line.trimmed();
    if (t.isEmpty() || t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('[')))
        return false;
    const qsizetype eq = t.indexOf(QLatin1Char('='));
    if (eq < 0)
        return false;
    *key = t.left(eq).trimmed();
    *value = t.mid(eq + 1).trimmed();
    return true;
}

namespace {

// The name of a section header line, or an empty view (looked at without copying:
// every value read scans the file).
QStringView SectionNameOf(const QString& line) {
    const QStringView t = QStringView(line).trimmed();
    if (!t.startsWith(QLatin1Char('[')))
        return {};
    const qsizetype close = t.indexOf(QLatin1Char(']'));
    if (close < 0)
        return {};
    return t.mid(1, close - 1).trimmed();
}

bool IsHeaderLine(const QString& line) {
    const QStringView t = QStringView(line).trimmed();
    return t.startsWith(QLatin1Char('[')) && t.indexOf(QLatin1Char(']')) >= 0;
}

// The key of a key line, or an empty view.
QStringView KeyOf(const QString& line) {
    const QStringView t = QStringView(line).trimmed();
    if (t.isEmpty() || t.startsWith(QLatin1Char(';')) || t.startsWith(QLatin1Char('[')))
        return {};
    const qsizetype eq = t.indexOf(QLatin1Char('='));
    if (eq < 0)
        return {};
    return t.left(eq).trimmed();
}

} // namespace

int IniFile::FindSection(const QString& section) const {
    for (size_t i = 0; i < m_lines.size(); ++i)
        if (IsHeaderLine(m_lines[i]) &&
            SectionNameOf(m_lines[i]).compare(section, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

int IniFile::SectionEnd(int sectionLine) const {
    size_t i = size_t(sectionLine) + 1;
    while (i < m_lines.size() && !IsHeaderLine(m_lines[i]))
        ++i;
    return int(i);
}

int IniFile::FindKey(int sectionLine, const QString& key) const {
    const int end = SectionEnd(sectionLine);
    for (int i = sectionLine + 1; i < end; ++i) {
        const QStringView k = KeyOf(m_lines[size_t(i)]);
        if (!k.isEmpty() && k.compare(key, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

int IniFile::FindValueLine(const QString& section, const QString& key) const {
    const int s = FindSection(section);
    return s < 0 ? -1 : FindKey(s, key);
}

QString IniFile::ValueOfLine(int line) const {
    QString k, value;
    SplitKey(m_lines[size_t(line)], &k, &value);
    // The platform strips one pair of enclosing quotes.
    if (value.size() >= 2 &&
        ((value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"'))) ||
         (value.startsWith(QLatin1Char('\'')) && value.endsWith(QLatin1Char('\'')))))
        value = value.mid(1, value.size() - 2);
    if (value.size() > kProfileBufferChars - 1)
        value.truncate(kProfileBufferChars - 1);
    return value;
}

QString IniFile::ReadString(const QString& section, const QString& key, const QString& def) const {
    const int line = FindValueLine(section, key);
    QString value = line >= 0 ? ValueOfLine(line) : def;
    if (value.size() > kProfileBufferChars - 1)
        value.truncate(kProfileBufferChars - 1);
    return value;
}

int IniFile::ReadInt(const QString& section, const QString& key, int def) const {
    const int line = FindValueLine(section, key);
    if (line < 0)
        return def;
    const QString v = ValueOfLine(line);
    qsizetype i = 0;
    bool negative = false;
    if (i < v.size() && (v[i] == QLatin1Char('-') || v[i] == QLatin1Char('+')))
        negative = v[i++] == QLatin1Char('-');
    // Accumulate in 64 bits and wrap like the platform's 32-bit conversion would.
    uint32_t n = 0;
    while (i < v.size() && v[i] >= QLatin1Char('0') && v[i] <= QLatin1Char('9'))
        n = n * 10u + uint32_t(v[i++].unicode() - '0');
    const uint32_t r = negative ? 0u - n : n;
    return static_cast<int>(r);
}

namespace {

// The text that reads back as `value`: reading trims blanks and strips one pair of
// enclosing quotes, so a value that starts and ends with a quote, or with a blank, is
// written inside one more pair. A line break cannot stand in a line and is left out.
QString AsWritten(QString value) {
    value.remove(QLatin1Char('\r'));
    value.remove(QLatin1Char('\n'));
    if (value.isEmpty())
        return value;
    const QChar first = value.front();
    const QChar last = value.back();
    const bool quoted = value.size() >= 2 && first == last &&
                        (first == QLatin1Char('"') || first == QLatin1Char('\''));
    if (quoted || first.isSpace() || last.isSpace())
        return QLatin1Char('"') + value + QLatin1Char('"');
    return value;
}

} // namespace

void IniFile::WriteString(const QString& section, const QString& key, const QString& rawValue) {
    const QString value = AsWritten(rawValue);
    const QString line = key + QLatin1Char('=') + value;
    int s = FindSection(section);
    if (s < 0) {
        m_lines.push_back(QLatin1Char('[') + section + QLatin1Char(']'));
        m_lines.push_back(line);
        return;
    }
    const int k = FindKey(s, key);
    if (k >= 0) {
        // Keep the key's own spelling as it stands in the file.
        QString oldKey, oldValue;
        SplitKey(m_lines[size_t(k)], &oldKey, &oldValue);
        m_lines[size_t(k)] = oldKey + QLatin1Char('=') + value;
        return;
    }
    // After the last non-blank line of the section.
    int insertAt = SectionEnd(s);
    while (insertAt - 1 > s && m_lines[size_t(insertAt - 1)].trimmed().isEmpty())
        --insertAt;
    m_lines.insert(m_lines.begin() + insertAt, line);
}

void IniFile::WriteInt(const QString& section, const QString& key, int value) {
    WriteString(section, key, QString::number(value));
}
