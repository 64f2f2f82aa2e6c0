#include "FakeSessionEngine.h"

#include "app/intents/IntentHandlerLookup.h"
#include "app/intents/IntentResponses.h"
#include "app/intents/Intents.h"
#include "app/intents/ResolutionResults.h"

#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace kiruvo;

namespace {

class SomeOtherIntent final : public Intent { };

TEST(IntentTypes, ResponseCodesAndEnumerationsFromRawValues)
{
    EXPECT_EQ(responseCodeFromRawValue<GetSessionsIntentResponseCode>(0),
        GetSessionsIntentResponseCode::unspecified);
    EXPECT_EQ(
        responseCodeFromRawValue<NewSessionIntentResponseCode>(4), NewSessionIntentResponseCode::success);
    EXPECT_EQ(responseCodeFromRawValue<SetEnabledStateIntentResponseCode>(6),
        SetEnabledStateIntentResponseCode::failureRequiringAppLaunch);
    EXPECT_FALSE(responseCodeFromRawValue<GetEnabledStateIntentResponseCode>(7));
    EXPECT_FALSE(responseCodeFromRawValue<GetTotalDurationTodayIntentResponseCode>(-1));
    EXPECT_EQ(rawValue(GetCurrentSessionIntentResponseCode::failure), 5);

    EXPECT_EQ(setOperationFromRawValue(2), SetOperation::toggle);
    EXPECT_FALSE(setOperationFromRawValue(3));
    EXPECT_FALSE(setOperationFromRawValue(-1));
    EXPECT_EQ(setStateFromRawValue(2), SetState::disabled);
    EXPECT_FALSE(setStateFromRawValue(3));
}

TEST(IntentTypes, ResponsesStartUnspecifiedAndTakeTheirCodeAndActivity)
{
    EXPECT_EQ(GetSessionsIntentResponse().rawCode(), 0);
    EXPECT_EQ(SetEnabledStateIntentResponse().code, SetEnabledStateIntentResponseCode::unspecified);

    const NewSessionIntentResponse withActivity(NewSessionIntentResponseCode::inProgress, UserActivity {});
    EXPECT_EQ(withActivity.rawCode(), 3);
    EXPECT_TRUE(withActivity.userActivity());

    const auto success = SetEnabledStateIntentResponse::successIntentResponseWithState(SetState::disabled);
    EXPECT_EQ(success.rawCode(), 4);
    EXPECT_EQ(success.state, SetState::disabled);
    EXPECT_FALSE(success.userActivity());
    EXPECT_EQ(
        SetEnabledStateIntentResponse::unspecifiedIntentResponseWithState(SetState::enabled).rawCode(), 0);
    EXPECT_EQ(SetEnabledStateIntentResponse::readyIntentResponseWithState(SetState::enabled).rawCode(), 1);
    EXPECT_EQ(
        SetEnabledStateIntentResponse::continueInAppIntentResponseWithState(SetState::enabled).rawCode(), 2);
    EXPECT_EQ(
        SetEnabledStateIntentResponse::inProgressIntentResponseWithState(SetState::enabled).rawCode(), 3);
    EXPECT_EQ(
        SetEnabledStateIntentResponse::failureRequiringAppLaunchIntentResponseWithState(SetState::enabled)
            .rawCode(),
        6);
}

TEST(IntentTypes, ResultObjectsAndResolutionResults)
{
    EXPECT_TRUE(Session_::supportsSecureCoding);
    EXPECT_TRUE(CurrentSession_::supportsSecureCoding);

    const Session_ hinted(std::nullopt, "Two hours", std::string("two hours"));
    EXPECT_FALSE(hinted.identifier());
    EXPECT_EQ(hinted.pronunciationHint(), "two hours");
    EXPECT_FALSE(hinted.subtitleString());

    const auto state
        = SetStateResolutionResult::confirmationRequiredWithSetStateToConfirm(SetState::disabled);
    EXPECT_EQ(state.kind(), ResolutionKind::confirmationRequired);
    EXPECT_EQ(state.value(), 2);
    EXPECT_EQ(SetOperationResolutionResult::successWithResolvedSetOperation(SetOperation::toggle).value(), 2);

    const Session_ a("A", "1 hour", std::string("9 – 10 AM"), std::nullopt);
    const Session_ b("B", "2 hours", std::string("9 – 11 AM"), std::nullopt);
    const auto choice = Session_ResolutionResult::disambiguationWithSession_sToDisambiguate({ a, b });
    EXPECT_EQ(choice.kind(), ResolutionKind::disambiguation);
    ASSERT_EQ(choice.objects().size(), 2u);
    EXPECT_EQ(choice.objects()[1].identifier(), "B");
    const auto current = CurrentSession_ResolutionResult::successWithResolvedCurrentSession_(
        CurrentSession_("currentSession", "5 minutes"));
    EXPECT_EQ(current.objects().at(0).displayString(), "5 minutes");
}

TEST(IntentHandlerLookup, EachIntentGetsItsOwnNewHandlerAndOthersNone)
{
    const auto isA = [](const std::unique_ptr<IntentHandler>& handler, auto* type) {
        return dynamic_cast<std::remove_pointer_t<decltype(type)>*>(handler.get()) != nullptr;
    };
    EXPECT_TRUE(
        isA(handlerForIntent(GetEnabledStateIntent()), static_cast<GetEnabledStateIntentHandler*>(nullptr)));
    EXPECT_TRUE(
        isA(handlerForIntent(SetEnabledStateIntent()), static_cast<SetEnabledStateIntentHandler*>(nullptr)));
    EXPECT_TRUE(isA(
        handlerForIntent(GetCurrentSessionIntent()), static_cast<GetCurrentSessionIntentHandler*>(nullptr)));
    EXPECT_TRUE(isA(handlerForIntent(NewSessionIntent()), static_cast<NewSessionIntentHandler*>(nullptr)));
    EXPECT_TRUE(isA(handlerForIntent(GetSessionsIntent()), static_cast<GetSessionsIntentHandler*>(nullptr)));
    EXPECT_TRUE(isA(handlerForIntent(GetTotalDurationTodayIntent()),
        static_cast<GetTotalDurationTodayIntentHandler*>(nullptr)));
    EXPECT_EQ(handlerForIntent(SomeOtherIntent()), nullptr);

    const auto first = handlerForIntent(NewSessionIntent());
    const auto second = handlerForIntent(NewSessionIntent());
    EXPECT_NE(first.get(), second.get());
}

TEST(IntentHandlerLookup, TheGenericEntryPointAnswersOnceWithTheTypedResponse)
{
    FakeSessionEngine engine;
    engine.enabled = false;
    const auto handler = handlerForIntent(GetEnabledStateIntent());
    ASSERT_TRUE(handler);

    std::vector<std::shared_ptr<const IntentResponse>> answers;
    handler->handle(
        std::make_shared<GetEnabledStateIntent>(), [&](auto response) { answers.push_back(response); });
    EXPECT_TRUE(answers.empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answers.empty(); }, 2000));
    QCoreApplication::processEvents();
    ASSERT_EQ(answers.size(), 1u);
    const auto typed = std::dynamic_pointer_cast<const GetEnabledStateIntentResponse>(answers[0]);
    ASSERT_TRUE(typed);
    EXPECT_EQ(typed->code, GetEnabledStateIntentResponseCode::success);
    EXPECT_EQ(typed->isEnabled, false);

    // Handed an intent of another class, a handler answers nothing and touches nothing.
    answers.clear();
    bool answered = false;
    handler->handle(std::make_shared<NewSessionIntent>(), [&](auto response) {
        answered = true;
        answers.push_back(response);
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answered; }, 2000));
    EXPECT_EQ(answers.at(0), nullptr);
    EXPECT_EQ(engine.newSessionCalls, 0);
}

} // namespace
