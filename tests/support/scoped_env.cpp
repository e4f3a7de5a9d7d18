// scoped_env: setenv and unsetenv around a scope.
#include "support/scoped_env.h"

#include <cstdlib>

scoped_env::scoped_env(const char* name, const char* value) : name(name)
{
    if (const char* old = std::getenv(name))
        previous = old;
    if (value != nullptr)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

scoped_env::~scoped_env()
{
    if (previous)
        setenv(name, previous->c_str(), 1);
    else
        unsetenv(name);
}
