#include "Srcset.h"

#include <cmath>

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// "800" of "800w", or a number as the standard's rules for floating-point
// numbers read it; nothing for anything else.
bool readNumber(QByteArrayView text, bool integer, double *value)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        const bool digit = c >= '0' && c <= '9';
        if (!digit && (integer || (c != '.' && c != 'e' && c != 'E' && c != '-' && c != '+')))
            return false;
    }
    bool ok = false;
    *value = text.toByteArray().toDouble(&ok);
    return ok && std::isfinite(*value);
}

// The descriptors of one candidate; false when they make it invalid.
bool readDescriptors(const QList<QByteArray> &descriptors, TSrcsetCandidate *candidate)
{
    bool height = false;
    for (const QByteArray &d : descriptors) {
        const char last = d.isEmpty() ? 0 : d.back();
        const QByteArrayView number = QByteArrayView(d).chopped(d.isEmpty() ? 0 : 1);
        double value = 0;
        if (last == 'w') {
            if (candidate->width >= 0 || candidate->density >= 0 || !readNumber(number, true, &value) || value <= 0)
                return false;
            candidate->width = value;
        } else if (last == 'x') {
            if (candidate->width >= 0 || candidate->density >= 0 || height || !readNumber(number, false, &value)
                || value < 0)
                return false;
            candidate->density = value;
        } else if (last == 'h') {
            if (height || candidate->density >= 0 || !readNumber(number, true, &value) || value <= 0)
                return false;
            height = true;
        } else {
            return false;
        }
    }
    return !height || candidate->width >= 0; // a height alone is no descriptor
}

} // namespace

QList<TSrcsetCandidate> ParseSrcset(QByteArrayView input)
{
    QList<TSrcsetCandidate> candidates;
    const qsizetype n = input.size();
    qsizetype i = 0;
    for (;;) {
        while (i < n && (isSpace(input[i]) || input[i] == ','))
            ++i;
        if (i >= n)
            return candidates;
        const qsizetype start = i;
        while (i < n && !isSpace(input[i]))
            ++i;
        QByteArrayView url = input.sliced(start, i - start);
        QList<QByteArray> descriptors;
        if (url.endsWith(',')) {
            while (url.endsWith(','))
                url.chop(1);
        } else {
            // The descriptors up to the next comma outside parentheses.
            while (i < n && isSpace(input[i]))
                ++i;
            QByteArray current;
            bool inParens = false;
            for (;; ++i) {
                const char c = i < n ? input[i] : 0;
                if (inParens) {
                    if (i >= n)
                        break;
                    current += c;
                    if (c == ')')
                        inParens = false;
                } else if (i >= n || c == ',') {
                    if (!current.isEmpty())
                        descriptors << current;
                    if (i < n)
                        ++i;
                    break;
                } else if (isSpace(c)) {
                    if (!current.isEmpty())
                        descriptors << std::exchange(current, QByteArray());
                } else {
                    current += c;
                    if (c == '(')
                        inParens = true;
                }
            }
            if (inParens && !current.isEmpty())
                descriptors << current;
        }
        TSrcsetCandidate candidate;
        candidate.url = url.toByteArray();
        if (!candidate.url.isEmpty() && readDescriptors(descriptors, &candidate))
            candidates << candidate;
    }
}

qsizetype LargestCandidate(const QList<TSrcsetCandidate> &candidates)
{
    qsizetype best = -1;
    for (qsizetype i = 0; i < candidates.size(); ++i) {
        if (candidates[i].width >= 0 && (best < 0 || candidates[i].width > candidates[best].width))
            best = i;
    }
    if (best >= 0)
        return best;
    for (qsizetype i = 0; i < candidates.size(); ++i) {
        const double density = candidates[i].density >= 0 ? candidates[i].density : 1.0;
        if (best < 0 || density > (candidates[best].density >= 0 ? candidates[best].density : 1.0))
            best = i;
    }
    return best;
}

QByteArray LargestSrcsetCandidate(QByteArrayView srcset)
{
    const QList<TSrcsetCandidate> candidates = ParseSrcset(srcset);
    const qsizetype best = LargestCandidate(candidates);
    return best < 0 ? QByteArray() : candidates[best].url;
}

namespace {

constexpr double kScreenWidth = 1920;
constexpr double kScreenHeight = 1080;

// A length in CSS pixels: "600px", "40em"; NaN when not one.
double cssPixels(QByteArray value)
{
    double factor = 1;
    if (value.endsWith("px")) {
        value.chop(2);
    } else if (value.endsWith("rem")) {
        value.chop(3);
        factor = 16;
    } else if (value.endsWith("em")) {
        value.chop(2);
        factor = 16;
    }
    bool ok = false;
    const double number = value.trimmed().toDouble(&ok);
    return ok ? number * factor : std::nan("");
}

// One "(feature: value)" or "(width >= 600px)" of a query.
bool featureMatches(QByteArray feature)
{
    feature = feature.simplified();
    for (const char *op : {">=", "<=", ">", "<"}) {
        const qsizetype at = feature.indexOf(op);
        if (at <= 0)
            continue;
        const QByteArray name = feature.left(at).trimmed();
        const double length = cssPixels(feature.mid(at + qsizetype(qstrlen(op))).trimmed());
        const double actual = name == "width" ? kScreenWidth : name == "height" ? kScreenHeight : std::nan("");
        if (std::isnan(length) || std::isnan(actual))
            return true;
        const QByteArrayView o(op);
        return o == ">=" ? actual >= length : o == "<=" ? actual <= length : o == ">" ? actual > length : actual < length;
    }
    const qsizetype colon = feature.indexOf(':');
    const QByteArray name = (colon < 0 ? feature : feature.left(colon)).trimmed();
    const QByteArray value = colon < 0 ? QByteArray() : feature.mid(colon + 1).trimmed();
    if (name == "prefers-color-scheme")
        return value != "dark";
    if (name == "orientation")
        return value != "portrait";
    const struct { const char *name; double actual; int sense; } lengths[] = {
        {"min-width", kScreenWidth, 1}, {"max-width", kScreenWidth, -1}, {"width", kScreenWidth, 0},
        {"min-device-width", kScreenWidth, 1}, {"max-device-width", kScreenWidth, -1},
        {"min-height", kScreenHeight, 1}, {"max-height", kScreenHeight, -1}, {"height", kScreenHeight, 0},
    };
    for (const auto &l : lengths) {
        if (name != l.name)
            continue;
        const double length = cssPixels(value);
        if (std::isnan(length))
            return true;
        return l.sense > 0 ? l.actual >= length : l.sense < 0 ? l.actual <= length : l.actual == length;
    }
    return true;
}

// One query of the list: "screen and (min-width: 800px)", "not print".
bool queryMatches(QByteArray query)
{
    query = query.simplified();
    bool negated = false;
    if (query.startsWith("not ")) {
        negated = true;
        query = query.mid(4);
    } else if (query.startsWith("only ")) {
        query = query.mid(5);
    }
    bool matches = true;
    qsizetype i = 0;
    while (i < query.size() && matches) {
        while (i < query.size() && query[i] == ' ')
            ++i;
        if (i >= query.size())
            break;
        if (query[i] == '(') {
            const qsizetype close = query.indexOf(')', i);
            const qsizetype end = close < 0 ? query.size() : close;
            matches = featureMatches(query.mid(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        qsizetype end = query.indexOf(' ', i);
        if (end < 0)
            end = query.size();
        const QByteArray word = query.mid(i, end - i);
        if (word != "and" && word != "all" && word != "screen")
            matches = false; // print, speech and the like
        i = end;
    }
    return matches != negated;
}

} // namespace

bool MatchesWideLightScreen(QByteArrayView media)
{
    const QByteArray list = media.toByteArray().toLower().trimmed();
    if (list.isEmpty())
        return true;
    for (const QByteArray &query : list.split(',')) {
        if (queryMatches(query))
            return true;
    }
    return false;
}
