// binary_asset: the base of the assets that decode a file (texture, music):
// the loaded flag and the two staged operations. Depends on asset_src and,
// by reference only, on demo_filesystem.
#pragma once

#include "data/asset_src.h"

class demo_filesystem;

class binary_asset : public asset_src {
public:
    virtual bool load(demo_filesystem& filesystem) = 0;
    virtual bool unload() = 0;

    bool loaded = false; // set by the derived load, cleared by unload; never carried by a copy

protected:
    binary_asset() = default;
    // A copy carries the declaration, never the loaded flag: only the asset
    // whose own load succeeded owns what was loaded.
    binary_asset(const binary_asset& other) : asset_src(other) {}
    binary_asset& operator=(const binary_asset& other)
    {
        asset_src::operator=(other);
        return *this;
    }
    // Not virtual: assets are held by value and destroyed through their own
    // type, so protection is enough to forbid deleting through the base.
    ~binary_asset() = default;
};
