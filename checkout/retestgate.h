#pragma once

#include <QString>

// The question a checkout with a retest limit asks once the reader has identified: may this
// reader be checked again, or must it be repaired first? The line's records answer it (they
// know every station's checkouts and the repairs); the checkout knows nothing of where they
// are kept. Called from the thread of the reader concerned, so several may come at once.
class RetestGate
{
public:
    struct Answer
    {
        bool checked = false; // false: the earlier checkouts could not be counted
        QString refusal;      // why the reader must not be checked now; empty: go on
    };

    virtual ~RetestGate() = default;

    // A reader starts identifying: the gate may get ready to answer meanwhile (open its
    // connection), so that the answer adds little to the checkout.
    virtual void readerIdentifying() {}
    // Whether the reader with this serial number may be checked under a limit of that many
    // failed attempts in a row since its last repair.
    virtual Answer ask(int serialNumber, int limit) = 0;
};
