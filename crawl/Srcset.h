#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// One image candidate of a srcset attribute: its URL and its descriptor,
// a width ("800w") or a pixel density ("2x"); -1 where it has none.
struct TSrcsetCandidate
{
    QByteArray url;
    double width = -1;
    double density = -1;
};

// A srcset value read as the HTML standard's "parse a srcset attribute"
// does: URLs may hold commas, descriptors may hold parentheses, and a
// candidate with a broken descriptor is dropped.
QList<TSrcsetCandidate> ParseSrcset(QByteArrayView srcset);

// Of candidates, the one a browser picks on the largest screen: the
// greatest width, else the greatest density (none given is 1x); the first
// among equals. -1 when there is none.
qsizetype LargestCandidate(const QList<TSrcsetCandidate> &candidates);
QByteArray LargestSrcsetCandidate(QByteArrayView srcset);

// Whether a media query list matches a wide screen (1920 x 1080) in the
// light colour scheme: dark-scheme, print and narrow-screen alternates do
// not. An empty list matches; a feature not understood is taken to match.
bool MatchesWideLightScreen(QByteArrayView media);
