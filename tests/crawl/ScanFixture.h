#pragma once

#include "ItemTree.h"
#include "LinkExtractor.h"
#include "TreeConfig.h"

#include <QObject>

// A tree with its two roots and an extractor that adds files under "Root
// files:", reading the settings the test sets.
class TScanFixture : public QObject
{
    Q_OBJECT

protected:
    void setUp(const TScanSettings &scanSettings)
    {
        settings = scanSettings;
        tree = new TItemTree;
        tree->setConfig(&config);
        tree->MakeRootNodes();
        extractor = new TLinkExtractor(*tree->store());
        extractor->setSettingsSource([this] { return settings; });
        extractor->setFileParent(tree->store()->rootFiles());
    }
    void tearDown()
    {
        delete extractor;
        delete tree;
    }

    TFixedTreeConfig config;
    TScanSettings settings;
    TItemTree *tree = nullptr;
    TLinkExtractor *extractor = nullptr;
};
