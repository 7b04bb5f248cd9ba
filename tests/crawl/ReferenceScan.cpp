#include "ReferenceScan.h"

#include "ItemTree.h"
#include "UrlRules.h"

#include <QTreeWidgetItemIterator>

namespace {

QByteArray removeChar(QByteArray text, char c)
{
    for (qsizetype at = text.indexOf(c); at >= 0; at = text.indexOf(c))
        text.remove(at, 1);
    return text;
}

bool walkExists(TTreeNode *start, const QString &url)
{
    if (!start || start->childCount() == 0)
        return false;
    for (QTreeWidgetItemIterator it(start->child(0)); *it; ++it) {
        const TDataRec *item = static_cast<TTreeNode *>(*it)->item();
        if (item && item->url == url)
            return true;
    }
    return false;
}

} // namespace

void ReferenceParseDocument(TItemTree *tree, TTreeNode *fileParent, const QString &base,
                            const QByteArray &text, int mode, const TScanSettings &s)
{
    if (text.isEmpty())
        return;
    QByteArray norm = text;
    for (char c : {' ', '\n', '\r', '\''})
        norm = removeChar(norm, c);
    QByteArray upper = norm;
    for (char &c : upper)
        if (c >= 'a' && c <= 'z')
            c = char(c - 32);

    const QByteArray ahref = "AHREF=", param = "URL\"VALUE=", src = "SRC=";
    TDataRec tmpl;
    for (;;) {
        qsizetype p = upper.indexOf(ahref);
        qsizetype start;
        qint32 kind;
        if (p >= 0) {
            start = p + 6;
            kind = KindFile;
        } else if ((p = upper.indexOf(param)) >= 0) {
            start = p + 10;
            kind = KindFile;
        } else if ((p = upper.indexOf(src)) >= 0) {
            start = p + 4;
            if (start < norm.size() && norm[start] == '"')
                ++start;
            kind = KindThumbnail;
        } else {
            break;
        }
        qsizetype end = -1;
        for (qsizetype i = start + 1; i < norm.size(); ++i) {
            if (norm[i] == '>' || norm[i] == '"') {
                end = i;
                break;
            }
        }
        if (end < 0)
            end = std::max(start, norm.size() - 1);
        if (start >= norm.size())
            end = start;
        QByteArray raw = norm.mid(start, end - start);
        raw.replace('"', QByteArrayView());
        const QString value = ResolveLink(DecodeLinkText(raw), base);

        if (IncludeDocument(value)) {
            tmpl.isLink = true;
            tmpl.url = value;
            tmpl.name = FilNavn(value);
            tmpl.localPath = LocalPath(s.downloadDir, tmpl.name);
            tmpl.sizeText.clear();
            tmpl.kind = KindLink;
            if (mode == ModeMainDocument) {
                if (!walkExists(tree->rootLinks(), value))
                    tree->AddTreeNode(tree->rootLinks(), tmpl);
            } else if (s.addChild && !walkExists(fileParent, value)) {
                tree->AddTreeNode(fileParent, tmpl);
            }
        }
        if (IncludeFile(value, s.fileTypes) && !walkExists(fileParent, value)) {
            tmpl.isLink = false;
            tmpl.url = value;
            tmpl.kind = kind;
            tmpl.localPath = LocalPath(s.downloadDir, FilNavn(value));
            tmpl.name = FilNavn(value);
            if (kind == KindFile || s.includeThumbs)
                tree->AddTreeNode(fileParent, tmpl);
        }
        upper[p] = '_';
    }
}
