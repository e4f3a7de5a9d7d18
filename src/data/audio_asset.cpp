// audio_asset: libsndfile decoding (a loose file, or MP3 bytes from "demo.dat"
// through a memory reader) and SDL2 playback, falling back to SDL's silent
// "dummy" driver without a device. Depends on demo_filesystem, print_line.
#include "data/audio_asset.h"

#include "data/demo_filesystem.h"
#include "platform/print_line.h"

#include <SDL.h>
#include <algorithm>
#include <cstring>

namespace {

// Memory reader over file_bytes for sf_open_virtual.
sf_count_t memory_length(void* user_data)
{
    return static_cast<sf_count_t>(static_cast<audio_asset_data*>(user_data)->file_bytes.size());
}

sf_count_t memory_seek(sf_count_t offset, int whence, void* user_data)
{
    auto* block = static_cast<audio_asset_data*>(user_data);
    const sf_count_t length = static_cast<sf_count_t>(block->file_bytes.size());
    sf_count_t target = offset;
    if (whence == SEEK_CUR)
        target += block->file_position;
    else if (whence == SEEK_END)
        target += length;
    if (target < 0 || target > length)
        return -1;
    block->file_position = target;
    return target;
}

sf_count_t memory_read(void* destination, sf_count_t count, void* user_data)
{
    auto* block = static_cast<audio_asset_data*>(user_data);
    const sf_count_t left = static_cast<sf_count_t>(block->file_bytes.size()) - block->file_position;
    const sf_count_t taken = std::max<sf_count_t>(0, std::min(count, left));
    if (taken > 0)
        std::memcpy(destination, block->file_bytes.data() + block->file_position, static_cast<size_t>(taken));
    block->file_position += taken;
    return taken;
}

sf_count_t memory_write(const void*, sf_count_t, void*) { return 0; }

sf_count_t memory_tell(void* user_data)
{
    return static_cast<audio_asset_data*>(user_data)->file_position;
}

// The music's own sample format as SDL names it; formats that are not
// integer PCM are decoded to 32-bit float.
SDL_AudioFormat sdl_format_of(int sndfile_format)
{
    switch (sndfile_format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_U8: return AUDIO_U8;
    case SF_FORMAT_PCM_S8: return AUDIO_S8;
    case SF_FORMAT_PCM_16: return AUDIO_S16SYS;
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32: return AUDIO_S32SYS;
    default: return AUDIO_F32SYS;
    }
}

// Packed music comes from memory and must be MP3; loose music is any file
// the decoder reads.
bool open_decoder(audio_asset_data& block, demo_filesystem& filesystem, const std::string& path)
{
    block.decoder_info = SF_INFO{};
    if (filesystem.get_mode() == demo_filesystem_packed) {
        block.file_bytes = filesystem.read_file(path);
        block.file_position = 0;
        // libsndfile copies the table; the block itself is the reader's state.
        SF_VIRTUAL_IO memory_io = {memory_length, memory_seek, memory_read, memory_write, memory_tell};
        block.decoder = sf_open_virtual(&memory_io, SFM_READ, &block.decoder_info, &block);
    } else {
        block.decoder = sf_open(path.c_str(), SFM_READ, &block.decoder_info);
    }
    block.decoder_result = block.decoder ? SF_ERR_NO_ERROR : sf_error(nullptr);
    if (block.decoder && filesystem.get_mode() == demo_filesystem_packed &&
        (block.decoder_info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_MPEG) {
        sf_close(block.decoder);
        block.decoder = nullptr;
        block.decoder_result = SF_ERR_UNRECOGNISED_FORMAT;
    }
    return block.decoder != nullptr;
}

// Opens the default playback device in exactly the music's format; SDL
// converts when the hardware differs. Holds one reference on SDL's audio
// subsystem while the device is open.
SDL_AudioDeviceID open_default_device(const SDL_AudioSpec& wanted, SDL_AudioSpec& obtained)
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return 0;
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (device == 0)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return device;
}

// Without a playback device the music goes to SDL's "dummy" driver, which
// consumes it in real time in silence, so the demo still runs.
SDL_AudioDeviceID open_silent_device(const SDL_AudioSpec& wanted, SDL_AudioSpec& obtained)
{
    print_line("- no audio device, playing without sound");
    SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
    const SDL_AudioDeviceID device = open_default_device(wanted, obtained);
    SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    return device;
}

bool open_device(audio_asset_data& block)
{
    if (block.decoder_info.channels < 1 || block.decoder_info.channels > 255)
        return false;
    SDL_AudioSpec wanted{};
    wanted.freq = block.decoder_info.samplerate;
    wanted.format = sdl_format_of(block.decoder_info.format);
    wanted.channels = static_cast<Uint8>(block.decoder_info.channels);
    wanted.samples = audio_device_buffer_frames(wanted.freq);
    wanted.callback = audio_asset::data_callback;
    wanted.userdata = &block;
    if (SDL_AUDIO_BITSIZE(wanted.format) == 8)
        block.sample_scratch.assign(static_cast<size_t>(wanted.samples) * wanted.channels, 0);
    block.device = open_default_device(wanted, block.device_config);
    if (block.device == 0)
        block.device = open_silent_device(wanted, block.device_config);
    return block.device != 0;
}

// 8-bit music is read as 16-bit frames (libsndfile has no 8-bit reader)
// and narrowed into the stream in chunks of the scratch buffer.
sf_count_t read_narrow_frames(audio_asset_data& block, Uint8* stream, sf_count_t frames)
{
    const int channels = block.decoder_info.channels;
    const sf_count_t chunk_frames = static_cast<sf_count_t>(block.sample_scratch.size()) / channels;
    const int offset = block.device_config.format == AUDIO_U8 ? 128 : 0;
    sf_count_t done = 0;
    while (done < frames && chunk_frames > 0) {
        const sf_count_t got = sf_readf_short(block.decoder, block.sample_scratch.data(),
                                              std::min(chunk_frames, frames - done));
        if (got <= 0)
            break;
        for (sf_count_t i = 0; i < got * channels; ++i)
            stream[done * channels + i] = static_cast<Uint8>((block.sample_scratch[static_cast<size_t>(i)] >> 8) + offset);
        done += got;
    }
    return done;
}

sf_count_t read_frames(audio_asset_data& block, Uint8* stream, sf_count_t frames)
{
    switch (block.device_config.format) {
    case AUDIO_S16SYS: return sf_readf_short(block.decoder, reinterpret_cast<short*>(stream), frames);
    case AUDIO_S32SYS: return sf_readf_int(block.decoder, reinterpret_cast<int*>(stream), frames);
    case AUDIO_F32SYS: return sf_readf_float(block.decoder, reinterpret_cast<float*>(stream), frames);
    default: return read_narrow_frames(block, stream, frames);
    }
}

} // namespace

// SDL's device thread sleeps a whole buffer at a time and closing the device
// waits for it, so the buffer is sized by time: the largest power of two of
// frames that lasts at most 1/32 s (16 to 31 ms, and at least 64 frames, from
// 2048 Hz up). Below that a single frame may last longer; nothing is shorter.
Uint16 audio_device_buffer_frames(int sample_rate)
{
    const int most_frames = std::max(1, sample_rate / 32);
    Uint16 frames = 1;
    while (frames < 32768 && frames * 2 <= most_frames)
        frames = static_cast<Uint16>(frames * 2);
    return frames;
}

audio_asset::audio_asset() : data(std::make_unique<audio_asset_data>()) {}

// A copy takes the declaration only: the decoder and device belong to the
// asset that opened them, and a copy never closes them.
audio_asset::audio_asset(const audio_asset& other)
    : binary_asset(other), data(std::make_unique<audio_asset_data>())
{
}

audio_asset& audio_asset::operator=(const audio_asset& other)
{
    binary_asset::operator=(other);
    return *this;
}

// Closing here keeps the device thread away from the block being freed.
audio_asset::~audio_asset()
{
    unload();
}

bool audio_asset::load(demo_filesystem& filesystem)
{
    if (loaded)
        unload();
    loaded = false;
    if (!open_decoder(*data, filesystem, path))
        return false;
    if (!open_device(*data)) {
        sf_close(data->decoder);
        data->decoder = nullptr;
        return false;
    }
    loaded = true;
    return true;
}

bool audio_asset::play()
{
    if (!loaded)
        return false;
    SDL_PauseAudioDevice(data->device, 0);
    return true;
}

bool audio_asset::stop()
{
    if (!loaded)
        return false;
    SDL_PauseAudioDevice(data->device, 1);
    return true;
}

// The device goes first: closing it joins the thread that reads the decoder.
bool audio_asset::unload()
{
    if (!loaded)
        return true;
    SDL_CloseAudioDevice(data->device);
    data->device = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    sf_close(data->decoder);
    data->decoder = nullptr;
    loaded = false;
    return true;
}

void audio_asset::data_callback(void* user_data, Uint8* stream, int length)
{
    auto* block = static_cast<audio_asset_data*>(user_data);
    if (!block) {
        std::memset(stream, 0, static_cast<size_t>(length));
        return;
    }
    const int frame_bytes = block->device_config.channels * SDL_AUDIO_BITSIZE(block->device_config.format) / 8;
    const sf_count_t frames = frame_bytes > 0 ? length / frame_bytes : 0;
    const sf_count_t done = std::max<sf_count_t>(0, read_frames(*block, stream, frames));
    const size_t filled = static_cast<size_t>(done * frame_bytes);
    std::memset(stream + filled, block->device_config.silence, static_cast<size_t>(length) - filled);
}
