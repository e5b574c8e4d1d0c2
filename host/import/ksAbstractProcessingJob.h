// Licensed under the MIT licence; see LICENSE.
#pragma once

#include <string>

// A unit of processing work the host runs on the main thread: run() does it
// once and remembers how it went.
class ksAbstractProcessingJob
{
public:
    enum State { NotStarted, Running, Finished, Failed };

    virtual ~ksAbstractProcessingJob();

    // Runs process() unless the job ran already; true when it succeeded.
    bool run();

    State getState() const { return m_state; }
    const std::string& getError() const { return m_error; }

protected:
    // The work; on failure set the reason with setError and return false.
    virtual bool process() = 0;
    void setError(const std::string& error) { m_error = error; }

private:
    State m_state = NotStarted;
    std::string m_error;
};
