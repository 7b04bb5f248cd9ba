#include "RtfReader.h"

#include <QColor>
#include <QList>
#include <QSet>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cctype>

namespace {

// Groups nested deeper than this are read as if they were not groups at all.
constexpr int kMaxDepth = 256;

// Windows-1252 characters 0x80 ... 0x9f; the rest of the page is Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20ac, 0xfffd, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021, 0x02c6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xfffd, 0x017d, 0xfffd, 0xfffd, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022,
    0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0xfffd, 0x017e, 0x0178};

QChar fromCp1252(uchar byte)
{
    return byte >= 0x80 && byte < 0xa0 ? QChar(kCp1252High[byte - 0x80]) : QChar(byte);
}

struct State
{
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int halfPoints = 24;
    int color = 0;
    int skipAfterUnicode = 1;
    bool skip = false;  // a destination that is not shown
    bool colorTable = false;
};

class Reader
{
public:
    Reader(const QByteArray &rtf, QTextDocument *document)
        : m_in(rtf)
        , m_cursor(document)
    {
    }

    void run()
    {
        while (m_at < m_in.size()) {
            const char c = m_in.at(m_at++);
            switch (c) {
            case '{': openGroup(); break;
            case '}': closeGroup(); break;
            case '\\': controlWord(); break;
            case '\r':
            case '\n': break;
            default: text(QChar(uchar(c)));
            }
        }
        flush();
    }

private:
    void openGroup()
    {
        if (m_stack.size() >= kMaxDepth) {
            ++m_ignoredDepth;
            return;
        }
        m_stack.push_back(m_state);
        m_groupStart = true;
    }

    void closeGroup()
    {
        if (m_ignoredDepth > 0) {
            --m_ignoredDepth;
            return;
        }
        if (m_stack.isEmpty())
            return;
        flush();
        m_state = m_stack.takeLast();
        m_groupStart = false;
    }

    // A letter sequence with an optional signed number, or one symbol.
    void controlWord()
    {
        if (m_at >= m_in.size())
            return;
        const char first = m_in.at(m_at);
        if (!std::isalpha(uchar(first))) {
            ++m_at;
            controlSymbol(first);
            return;
        }
        const qsizetype start = m_at;
        while (m_at < m_in.size() && std::isalpha(uchar(m_in.at(m_at))) && m_at - start < 32)
            ++m_at;
        const QByteArray word = m_in.mid(start, m_at - start);
        bool hasNumber = false;
        bool negative = false;
        qint64 number = 0;
        if (m_at < m_in.size() && m_in.at(m_at) == '-') {
            negative = true;
            ++m_at;
        }
        while (m_at < m_in.size() && std::isdigit(uchar(m_in.at(m_at)))) {
            number = std::min<qint64>(number * 10 + (m_in.at(m_at) - '0'), 1 << 24);
            hasNumber = true;
            ++m_at;
        }
        if (negative)
            number = -number;
        if (m_at < m_in.size() && m_in.at(m_at) == ' ')
            ++m_at; // the delimiter belongs to the word
        const bool groupStart = m_groupStart;
        m_groupStart = false;
        apply(word, hasNumber, int(number), groupStart);
    }

    void controlSymbol(char symbol)
    {
        m_groupStart = false;
        switch (symbol) {
        case '\\':
        case '{':
        case '}': text(QChar(uchar(symbol))); break;
        case '~': text(QChar(0xa0)); break;
        case '-': break; // optional hyphen
        case '_': text(QChar(0x2011)); break;
        case '\'': {
            const QByteArray hex = m_in.mid(m_at, 2);
            bool ok = false;
            const int value = hex.toInt(&ok, 16);
            m_at += hex.size();
            if (ok && hex.size() == 2)
                text(fromCp1252(uchar(value)));
            break;
        }
        case '*': m_state.skip = true; break;
        case '\r':
        case '\n': paragraph(); break;
        default: break;
        }
    }

    void apply(const QByteArray &word, bool hasNumber, int n, bool groupStart)
    {
        static const QSet<QByteArray> hidden = {
            "fonttbl", "stylesheet", "info", "pict", "header", "footer", "headerl", "headerr", "footerl",
            "footerr", "object", "filetbl", "listtable", "listoverridetable", "rsidtbl", "generator",
            "xmlnstbl", "themedata", "colorschememapping", "latentstyles", "datastore", "revtbl", "fldinst",
            "bkmkstart", "bkmkend", "footnote", "comment", "template"};
        if (groupStart && hidden.contains(word)) {
            m_state.skip = true;
            return;
        }
        const bool on = !hasNumber || n != 0;
        if (word == "colortbl") {
            m_state.colorTable = true;
            m_state.skip = true;
            m_colors.clear();
            m_pendingColor = QColor();
        } else if (m_state.colorTable) {
            if (!m_pendingColor.isValid())
                m_pendingColor = QColor(0, 0, 0);
            const int value = std::clamp(n, 0, 255);
            if (word == "red")
                m_pendingColor.setRed(value);
            else if (word == "green")
                m_pendingColor.setGreen(value);
            else if (word == "blue")
                m_pendingColor.setBlue(value);
        } else if (word == "par") {
            paragraph();
        } else if (word == "line") {
            text(QChar(QChar::LineSeparator));
        } else if (word == "tab") {
            text(QLatin1Char('\t'));
        } else if (word == "b") {
            setFormat([on](State &s) { s.bold = on; });
        } else if (word == "i") {
            setFormat([on](State &s) { s.italic = on; });
        } else if (word == "ul") {
            setFormat([on](State &s) { s.underline = on; });
        } else if (word == "ulnone") {
            setFormat([](State &s) { s.underline = false; });
        } else if (word == "plain") {
            setFormat([](State &s) {
                s.bold = s.italic = s.underline = false;
                s.halfPoints = 24;
                s.color = 0;
            });
        } else if (word == "fs" && hasNumber) {
            setFormat([n](State &s) { s.halfPoints = std::clamp(n, 4, 400); });
        } else if (word == "cf") {
            setFormat([n](State &s) { s.color = std::max(0, n); });
        } else if (word == "uc") {
            m_state.skipAfterUnicode = std::clamp(n, 0, 10);
        } else if (word == "u" && hasNumber) {
            text(QChar(char16_t(n < 0 ? n + 65536 : n)));
            skipFallback(m_state.skipAfterUnicode);
        } else if (word == "pard") {
            m_alignment = Qt::AlignLeft;
            m_spaceBefore = m_spaceAfter = 0;
        } else if (word == "sb") {
            m_spaceBefore = std::clamp(n, 0, 20000) / 20.0; // twips to points
        } else if (word == "sa") {
            m_spaceAfter = std::clamp(n, 0, 20000) / 20.0;
        } else if (word == "qc") {
            m_alignment = Qt::AlignHCenter;
        } else if (word == "qr") {
            m_alignment = Qt::AlignRight;
        } else if (word == "ql" || word == "qj") {
            m_alignment = Qt::AlignLeft;
        } else if (word == "emdash") {
            text(QChar(0x2014));
        } else if (word == "endash") {
            text(QChar(0x2013));
        } else if (word == "bullet") {
            text(QChar(0x2022));
        } else if (word == "lquote" || word == "rquote") {
            text(QChar(word == "lquote" ? 0x2018 : 0x2019));
        } else if (word == "ldblquote" || word == "rdblquote") {
            text(QChar(word == "ldblquote" ? 0x201c : 0x201d));
        }
    }

    // The characters that stand for a \u character in readers without Unicode.
    void skipFallback(int count)
    {
        while (count > 0 && m_at < m_in.size()) {
            const char c = m_in.at(m_at);
            if (c == '{' || c == '}')
                return;
            if (c == '\\') {
                if (m_in.mid(m_at, 2) == "\\'")
                    m_at += 4;
                else
                    return;
            } else {
                ++m_at;
            }
            --count;
        }
    }

    template <typename Change>
    void setFormat(Change change)
    {
        flush();
        change(m_state);
    }

    void text(QChar c)
    {
        if (m_state.colorTable && c == QLatin1Char(';')) {
            m_colors << (m_pendingColor.isValid() ? m_pendingColor : QColor());
            m_pendingColor = QColor();
            return;
        }
        if (m_state.skip)
            return;
        m_pending += c;
    }

    void paragraph()
    {
        if (m_state.skip)
            return;
        flush();
        setAlignment();
        m_cursor.insertBlock();
    }

    void setAlignment()
    {
        QTextBlockFormat block = m_cursor.blockFormat();
        block.setAlignment(m_alignment);
        block.setTopMargin(m_spaceBefore);
        block.setBottomMargin(m_spaceAfter);
        m_cursor.setBlockFormat(block);
    }

    void flush()
    {
        if (m_pending.isEmpty())
            return;
        QTextCharFormat format;
        format.setFontWeight(m_state.bold ? QFont::Bold : QFont::Normal);
        format.setFontItalic(m_state.italic);
        format.setFontUnderline(m_state.underline);
        format.setFontPointSize(m_state.halfPoints / 2.0);
        const QColor color = m_state.color > 0 ? m_colors.value(m_state.color) : QColor();
        if (color.isValid())
            format.setForeground(color);
        setAlignment();
        m_cursor.insertText(m_pending, format);
        m_pending.clear();
    }

    const QByteArray &m_in;
    qsizetype m_at = 0;
    QTextCursor m_cursor;
    State m_state;
    QList<State> m_stack;
    int m_ignoredDepth = 0;
    bool m_groupStart = false;
    QList<QColor> m_colors;
    QColor m_pendingColor;
    QString m_pending;
    Qt::Alignment m_alignment = Qt::AlignLeft;
    double m_spaceBefore = 0;
    double m_spaceAfter = 0;
};

} // namespace

void ReadRtf(const QByteArray &rtf, QTextDocument *document)
{
    document->clear();
    // One edit block around the whole text: without it the document lays
    // itself out again after every run of formatting.
    QTextCursor edit(document);
    edit.beginEditBlock();
    Reader(rtf, document).run();
    edit.endEditBlock();
}
