#include "SettingsFile.h"

#include <QList>

namespace {

const QByteArray kHeader = "Trawlix Settings Version 1";

QByteArray escape(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 2);
    for (char c : utf8) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default:
            if (uchar(c) < 0x20 || c == 0x7f)
                out += "\\x" + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
            else
                out += c;
        }
    }
    return out;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted string starting at text[pos] == '"'; pos ends after the closing quote.
std::optional<QByteArray> unquote(const QByteArray &text, qsizetype &pos)
{
    if (pos >= text.size() || text[pos] != '"')
        return std::nullopt;
    QByteArray out;
    for (++pos; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c == '"') {
            ++pos;
            return out;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++pos >= text.size())
            return std::nullopt;
        switch (text[pos]) {
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'x': {
            if (pos + 2 >= text.size())
                return std::nullopt;
            const int hi = hexValue(text[pos + 1]), lo = hexValue(text[pos + 2]);
            if (hi < 0 || lo < 0)
                return std::nullopt;
            out += char(hi * 16 + lo);
            pos += 2;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<qint32> parseDword(const QByteArray &text)
{
    if (!text.startsWith("dword:") || text.size() != 14)
        return std::nullopt;
    quint32 value = 0;
    for (qsizetype i = 6; i < 14; ++i) {
        const int digit = hexValue(text[i]);
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + quint32(digit);
    }
    return qint32(value);
}

} // namespace

QByteArray SettingsFile::encode(const QString &keyPath, const TSettingsValues &values)
{
    QByteArray out = kHeader + "\n\n[" + escape(keyPath) + "]\n";
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        out += '"' + escape(it.key()) + "\"=";
        if (it->kind == TSettingsValue::Number)
            out += "dword:" + QByteArray::number(quint32(it->number), 16).rightJustified(8, '0');
        else
            out += '"' + escape(it->text) + '"';
        out += '\n';
    }
    return out;
}

std::optional<TSettingsValues> SettingsFile::decode(const QByteArray &data, const QString &keyPath)
{
    if (data.size() > kMaxFileSize)
        return std::nullopt;
    const QList<QByteArray> lines = data.split('\n');
    TSettingsValues values;
    bool headerSeen = false;
    bool keySeen = false;
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.startsWith(';'))
            continue;
        if (!headerSeen) {
            if (line != kHeader)
                return std::nullopt;
            headerSeen = true;
            continue;
        }
        if (line.startsWith('[')) {
            if (keySeen || line != '[' + escape(keyPath) + ']')
                return std::nullopt;
            keySeen = true;
            continue;
        }
        if (!keySeen)
            return std::nullopt;
        qsizetype pos = 0;
        const auto name = unquote(line, pos);
        if (!name || name->isEmpty() || pos >= line.size() || line[pos] != '=')
            return std::nullopt;
        ++pos;
        TSettingsValue value;
        if (pos < line.size() && line[pos] == '"') {
            const auto text = unquote(line, pos);
            if (!text || pos != line.size() || text->size() > kMaxTextLength)
                return std::nullopt;
            value = TSettingsValue::fromText(QString::fromUtf8(*text));
        } else {
            const auto number = parseDword(line.mid(pos));
            if (!number)
                return std::nullopt;
            value = TSettingsValue::fromNumber(*number);
        }
        values.insert(QString::fromUtf8(*name), value);
    }
    if (!headerSeen)
        return data.trimmed().isEmpty() ? std::optional<TSettingsValues>(values) : std::nullopt;
    return values;
}
