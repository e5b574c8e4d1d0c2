// Licensed under the MIT licence; see LICENSE.
#include "import/ksAbstractProcessingJob.h"

ksAbstractProcessingJob::~ksAbstractProcessingJob() = default;

bool ksAbstractProcessingJob::run()
{
    if (m_state != NotStarted)
        return m_state == Finished;
    m_state = Running;
    const bool ok = process();
    m_state = ok ? Finished : Failed;
    return ok;
}
