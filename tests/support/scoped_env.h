// scoped_env: sets or unsets one environment variable for a scope and gives
// it back its old value (or its absence) on destruction.
#pragma once

#include <optional>
#include <string>

class scoped_env {
public:
    // A null value unsets the variable for the scope.
    scoped_env(const char* name, const char* value);
    ~scoped_env();
    scoped_env(const scoped_env&) = delete;
    scoped_env& operator=(const scoped_env&) = delete;

private:
    const char* name;                    // the variable
    std::optional<std::string> previous; // its value before, if it had one
};
