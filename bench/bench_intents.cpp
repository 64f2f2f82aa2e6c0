#include "app/engine/SessionController.h"
#include "app/intents/IntentHandlers.h"
#include "app/intents/SessionControllerEngine.h"
#include "app/intents/SessionListArgument.h"

#include "BenchSupport.h"

#include <QCoreApplication>
#include <QDBusArgument>

#include <benchmark/benchmark.h>

#include <memory>
#include <optional>

using namespace kiruvo;

namespace {

SessionController& engine(int storedSessionCount)
{
    static SessionController* instance = [] {
        auto* controller = new SessionController();
        static SessionControllerEngine adapter(*controller);
        SessionEngine::setSharedForTesting(&adapter);
        registerSessionListArgument();
        return controller;
    }();
    bench::useHistory(*instance, storedSessionCount);
    return *instance;
}

} // namespace

// What the application does for one GetSessions call: the handler builds the response from the
// engine's history, and the answer is written into a D-Bus message (all but the socket write).
static void BM_GetSessions(benchmark::State& state)
{
    engine(static_cast<int>(state.range(0)));
    std::size_t answered = 0;
    for (auto _ : state) {
        std::shared_ptr<const GetSessionsIntentResponse> response;
        GetSessionsIntentHandler::handleAsync(
            GetSessionsIntent(), [&response](GetSessionsIntentResponse answer) {
                response = std::make_shared<const GetSessionsIntentResponse>(std::move(answer));
            });
        while (!response) {
            QCoreApplication::processEvents();
        }
        QDBusArgument message;
        message << SessionListArgument { response };
        answered = response->sessions ? response->sessions->size() : 0;
        benchmark::DoNotOptimize(message);
    }
    if (answered != static_cast<std::size_t>(state.range(0))) {
        state.SkipWithError("the answer does not hold every stored session");
    }
}
BENCHMARK(BM_GetSessions)->Arg(6000)->Arg(100000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    return bench::runWithFakePlatform(argc, argv);
}
