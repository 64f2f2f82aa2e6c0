#pragma once

#include "app/intents/CurrentSession_.h"
#include "app/intents/Session_.h"
#include "app/intents/SetOperation.h"
#include "app/intents/SetState.h"

#include <cstdint>
#include <vector>

namespace kiruvo {

// How a parameter of a request was settled before handling. No request of this application goes
// through resolution; the types complete the scripting vocabulary.
enum class ResolutionKind { success, confirmationRequired, disambiguation };

// A settled enumeration parameter, held as its raw value.
class EnumResolutionResult {
public:
    ResolutionKind kind() const { return m_kind; }
    std::int64_t value() const { return m_value; }

protected:
    EnumResolutionResult(ResolutionKind kind, std::int64_t value)
        : m_kind(kind)
        , m_value(value)
    {
    }

private:
    ResolutionKind m_kind;
    std::int64_t m_value;
};

class SetStateResolutionResult final : public EnumResolutionResult {
public:
    static SetStateResolutionResult successWithResolvedSetState(SetState resolvedValue)
    {
        return { ResolutionKind::success, rawValue(resolvedValue) };
    }
    static SetStateResolutionResult confirmationRequiredWithSetStateToConfirm(SetState valueToConfirm)
    {
        return { ResolutionKind::confirmationRequired, rawValue(valueToConfirm) };
    }

private:
    using EnumResolutionResult::EnumResolutionResult;
};

class SetOperationResolutionResult final : public EnumResolutionResult {
public:
    static SetOperationResolutionResult successWithResolvedSetOperation(SetOperation resolvedValue)
    {
        return { ResolutionKind::success, rawValue(resolvedValue) };
    }
    static SetOperationResolutionResult confirmationRequiredWithSetOperationToConfirm(
        SetOperation valueToConfirm)
    {
        return { ResolutionKind::confirmationRequired, rawValue(valueToConfirm) };
    }

private:
    using EnumResolutionResult::EnumResolutionResult;
};

// A settled object parameter: one object, or the candidates to choose from. Only the typed
// constructors exist, so a result never holds an object of another class.
template <class Object> class ObjectResolutionResult {
public:
    ResolutionKind kind() const { return m_kind; }
    const std::vector<Object>& objects() const { return m_objects; }

protected:
    ObjectResolutionResult(ResolutionKind kind, std::vector<Object> objects)
        : m_kind(kind)
        , m_objects(std::move(objects))
    {
    }

private:
    ResolutionKind m_kind;
    std::vector<Object> m_objects;
};

class Session_ResolutionResult final : public ObjectResolutionResult<Session_> {
public:
    static Session_ResolutionResult successWithResolvedSession_(Session_ resolvedObject)
    {
        return { ResolutionKind::success, { std::move(resolvedObject) } };
    }
    static Session_ResolutionResult disambiguationWithSession_sToDisambiguate(
        std::vector<Session_> objectsToDisambiguate)
    {
        return { ResolutionKind::disambiguation, std::move(objectsToDisambiguate) };
    }
    static Session_ResolutionResult confirmationRequiredWithSession_ToConfirm(Session_ objectToConfirm)
    {
        return { ResolutionKind::confirmationRequired, { std::move(objectToConfirm) } };
    }

private:
    using ObjectResolutionResult::ObjectResolutionResult;
};

class CurrentSession_ResolutionResult final : public ObjectResolutionResult<CurrentSession_> {
public:
    static CurrentSession_ResolutionResult successWithResolvedCurrentSession_(CurrentSession_ resolvedObject)
    {
        return { ResolutionKind::success, { std::move(resolvedObject) } };
    }
    static CurrentSession_ResolutionResult disambiguationWithCurrentSession_sToDisambiguate(
        std::vector<CurrentSession_> objectsToDisambiguate)
    {
        return { ResolutionKind::disambiguation, std::move(objectsToDisambiguate) };
    }
    static CurrentSession_ResolutionResult confirmationRequiredWithCurrentSession_ToConfirm(
        CurrentSession_ objectToConfirm)
    {
        return { ResolutionKind::confirmationRequired, { std::move(objectToConfirm) } };
    }

private:
    using ObjectResolutionResult::ObjectResolutionResult;
};

} // namespace kiruvo
