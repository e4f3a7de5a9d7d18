// script_text: conversion between the player's UTF-8 byte strings and the
// script engine's UTF-16 strings. Depends on JavaScriptCore only.
#pragma once

#include <JavaScriptCore/JavaScript.h>
#include <string>

// A new engine string from NUL-terminated UTF-8; every byte that does not
// belong to a valid sequence becomes U+FFFD. The caller releases it.
JSStringRef script_text_create(const char* utf8);
// The UTF-8 bytes of an engine string; a lone surrogate becomes U+FFFD.
std::string script_text_utf8(JSStringRef text);
// The UTF-8 bytes of value converted to a string; empty when the conversion
// throws.
std::string script_text_of_value(JSContextRef ctx, JSValueRef value);
