// audio_asset: one music file decoded by libsndfile and played through an
// SDL2 audio device in the music's own sample format, channels and rate.
// Depends on binary_asset, demo_filesystem, libsndfile and SDL2 audio.
// Threads: data_callback runs on SDL's device thread and reads only the decoder
// fields and file_bytes; the main thread leaves them alone until unload.
#pragma once

#include "data/binary_asset.h"

#include <SDL_audio.h>
#include <cstdint>
#include <memory>
#include <sndfile.h>
#include <vector>

// The decoder and the playback device of a music asset. The block never
// moves while the asset lives: the device keeps its address as user data.
struct audio_asset_data {
    int decoder_result = SF_ERR_NO_ERROR;  // libsndfile error of the last decoder open; SF_ERR_NO_ERROR on success
    SNDFILE* decoder = nullptr;            // the open music file while loaded; null otherwise
    SF_INFO decoder_info{};                // format, channels, rate and length reported by the decoder
    sf_count_t file_position = 0;          // read position of the packed-mode decoder in file_bytes
    std::vector<short> sample_scratch;     // 8-bit music only: 16-bit frames read before narrowing, sized at load
    SDL_AudioSpec device_config{};         // the format the device plays (format, channels, freq, silence, samples)
    SDL_AudioDeviceID device = 0;          // the open playback device while loaded; 0 otherwise
    std::vector<uint8_t> file_bytes;       // the music file as read by the last packed-mode load; kept by unload
};

// Frames per buffer of the playback device at sample_rate: a power of two
// lasting at most 1/32 s, so that closing the device never waits long.
Uint16 audio_device_buffer_frames(int sample_rate);

class audio_asset : public binary_asset {
public:
    audio_asset();
    audio_asset(const audio_asset& other);
    audio_asset& operator=(const audio_asset& other);
    virtual ~audio_asset();

    bool load(demo_filesystem& filesystem) override;
    bool unload() override;
    bool play();
    bool stop();

    // SDL's audio callback: fills stream with decoded frames and the rest
    // with silence. Runs on the device thread; allocates nothing.
    static void data_callback(void* user_data, Uint8* stream, int length);

    std::unique_ptr<audio_asset_data> data; // the asset's own block, made by every constructor
};
