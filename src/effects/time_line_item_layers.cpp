// time_line_item_layers: construction and the copy rules; a copy draws with
// its source's layers' and final pass's GL objects.
#include "effects/time_line_item_layers.h"

time_line_item_layers::time_line_item_layers() : state(std::make_unique<layers_state>()) {}

time_line_item_layers::time_line_item_layers(const time_line_item_layers& other)
    : state(std::make_unique<layers_state>())
{
    *this = other;
}

time_line_item_layers& time_line_item_layers::operator=(const time_line_item_layers& other)
{
    if (this != &other) {
        *state = *other.state; // layers and final pass by their own copy rules
        triggers = other.triggers;
    }
    return *this;
}

time_line_item_layers::~time_line_item_layers() = default;
