#pragma once

// The download engine's own parts, shared by its source files.
#include "BodyFile.h"
#include "HttpEngine.h"
#include "MemoryStream.h"

#include <QTimer>

struct TFormHttpEngine::Slot
{
    std::unique_ptr<THttpCli> cli;
    QTimer *timer = nullptr;
    // The body as it arrives: straight into an unnamed file where the file
    // system has them, else in memory until the completion.
    std::unique_ptr<TBodyFile> file;
    std::unique_ptr<TMemoryStream> buffer;
    bool active = false;
    // What the slot's gauge shows of this transfer.
    qint64 shownReceived = 0, shownSize = 0;
    bool shownExact = false;
    bool sizeTested = false;
    bool skipped = false;   // left out by the size limits: counted apart from failures
    bool noLimits = false;  // "Download skipped files anyway": the limits pass this transfer
    qint64 maxSize = 0; // the limit, taken when the transfer starts
    qint64 counted = 0; // bytes of this transfer in the run's figures
    qint64 floorSince = 0; // when the slowest-pace window began (engine clock)
    qint64 floorBytes = 0; // bytes received by then
    qint64 resumedFrom = 0; // bytes an earlier try left, which this one goes on from
    QString validator;      // the ETag or Last-Modified those bytes came with

    // A write that did not take the whole block: the body can never be whole.
    bool writeFailed(const THttpCli &client) const
    {
        return (file && file->failed()) || (buffer && buffer->size() != resumedFrom + client.ReceivedBytes);
    }
};

// What a cut transfer left, kept for its next try to go on from.
struct TFormHttpEngine::Partial
{
    std::unique_ptr<TBodyFile> file;
    std::unique_ptr<TMemoryStream> buffer;
    qint64 size = 0;
    QString validator;
};
