#pragma once

#include "data/AppError.h"

#include <functional>
#include <optional>

// The AppError the action raises; none when it raises nothing.
inline std::optional<AppError> raisedBy(const std::function<void()> &action)
{
    try {
        action();
    } catch (const AppError &error) {
        return error;
    }
    return std::nullopt;
}

// The description of the AppError the action raises; "(nothing raised)" when it raises nothing.
inline QString errorOf(const std::function<void()> &action)
{
    const std::optional<AppError> error = raisedBy(action);
    return error ? error->description() : QStringLiteral("(nothing raised)");
}
