#pragma once

// When an automatic station checks the reader on a socket: a reader that starts to answer is
// checked once; after its checkout the socket waits for it to go away, so that a reader left in
// place is not checked again and again, and the next reader that answers is checked.
class PresenceWatch
{
public:
    enum class Event
    {
        Nothing,       // no reader, none expected
        ReaderArrived, // check it
        StillThere,    // the checked reader has not been taken away yet
        ReaderRemoved, // the checked reader went: the next one that answers is checked
    };

    // What an answer (or silence) of the idle socket's port means.
    Event probed(bool answered);
    // The reader that arrived has been checked.
    void checked() { m_awaitingRemoval = true; }
    bool awaitingRemoval() const { return m_awaitingRemoval; }

private:
    bool m_awaitingRemoval = false;
};
