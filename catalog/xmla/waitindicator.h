#pragma once

#include <QString>

#include <functional>

namespace mdx {

// What the user sees while the catalog waits for a server. The catalog waits in a local event
// loop, so the window keeps painting; the connection's indicator (Connection::setWaitIndicator)
// decides what else the user may do meanwhile (it should block input to the rest of the
// application: the catalog then lets all events through so that a Cancel button works) and
// may offer to cancel.
//
// begin() and end() come in pairs on the thread that waits, never nested. `cancel` aborts the
// wait; the operation then fails with "cancelled by the user". It may be called any number
// of times between begin() and end(), and must not be called after end().
class WaitIndicator
{
public:
    virtual ~WaitIndicator() = default;
    virtual void begin(const QString &text, std::function<void()> cancel) = 0;
    virtual void end() = 0;
};

} // namespace mdx
