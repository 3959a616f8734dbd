#pragma once

namespace lunorvale {

// Which question a request asks; it selects the system prompt.
enum class AIAnalysisPurpose {
    process,         // free-text diagnosis of one process
    applications,    // tidying advice for a list of installed applications
    processDecision, // a one-word next step for one process, answered as JSON
};

} // namespace lunorvale
