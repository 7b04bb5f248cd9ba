#pragma once

#include "LinkExtractor.h"

class TItemTree;
class TTreeNode;

// The scan as first written: characters removed one at a time, the first
// remaining pattern occurrence searched from the start of the text on every
// pass, and the duplicate search walking the tree node by node. Slow on big
// pages; kept here only to check the real scanner against.
void ReferenceParseDocument(TItemTree *tree, TTreeNode *fileParent, const QString &base,
                            const QByteArray &text, int mode, const TScanSettings &settings);
