#include "checkout/presencewatch.h"

PresenceWatch::Event PresenceWatch::probed(bool answered)
{
    if (!m_awaitingRemoval)
        return answered ? Event::ReaderArrived : Event::Nothing;
    if (answered)
        return Event::StillThere;
    m_awaitingRemoval = false;
    return Event::ReaderRemoved;
}
