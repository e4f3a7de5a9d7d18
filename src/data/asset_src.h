// asset_src: the declaration of one asset in the demo description, its name
// ("ref") and its file ("path"). Plain data; depends on nothing else.
#pragma once

#include <string>

class asset_src {
public:
    std::string name; // the declaration's "ref"; empty until parsed
    std::string path; // the declaration's "path"; an entry name in packed mode, a relative path otherwise
};
