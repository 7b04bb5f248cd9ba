#pragma once

#include "HttpProt.h"

#include <QBuffer>
#include <QStringList>

// Records what a client reports, event by event.
struct TRecorder
{
    explicit TRecorder(THttpCli &cli)
    {
        cli.OnHeaderBegin = [this](THttpCli *) { events << "HeaderBegin"; };
        cli.OnHeaderData = [this](THttpCli *c) { events << "HeaderData " + c->HeaderLines.last(); };
        cli.OnHeaderEnd = [this](THttpCli *) { events << "HeaderEnd"; };
        cli.OnDocBegin = [this](THttpCli *) { events << "DocBegin"; };
        cli.OnDocData = [this](THttpCli *, const char *data, int len) {
            pieces << QByteArray(data, len);
            if (events.last() != "DocData")
                events << "DocData";
        };
        cli.OnDocEnd = [this](THttpCli *) { events << "DocEnd"; };
        cli.OnStateChange = [this](THttpCli *c) {
            if (c->ClientState() == hcIdle)
                events << "Idle";
        };
        cli.OnRequestDone = [this](THttpCli *, THttpRequest kind, int error) {
            events << QString("Done %1 %2").arg(kind).arg(error);
            ++done;
            lastError = error;
        };
        cli.OnLocationChange = [this](THttpCli *c) { events << "Location " + c->CurrentLocation; };
        cli.ReceiveStream = &body;
        body.open(QIODevice::ReadWrite);
    }

    QStringList events;
    QList<QByteArray> pieces;
    QBuffer body;
    int done = 0;
    int lastError = -1;
};
