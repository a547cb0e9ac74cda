#include "song_decoder.h"

#include "decoder_properties.h"
#include "song_tags.h"

#include <gst/base/gstadapter.h>
#include <intro_music.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

GST_DEBUG_CATEGORY_STATIC(intro_music_dec_debug);
#define GST_CAT_DEFAULT intro_music_dec_debug

namespace {

using namespace intro_music_gst;

// The largest song the library loads: its offsets are 32-bit.
constexpr guint64 largestSongBytes = INT32_MAX;
// Frames per pushed buffer, 40 ms at 44,100 Hz: two of the presentation's
// 884-frame blocks, since a render by its rules asked for in whole blocks is
// byte for byte the presentation's.
constexpr int32_t framesPerBuffer = 2 * 884;
constexpr int32_t s16FrameBytes = intro_music::channelsPerFrame * sizeof(int16_t);
constexpr int32_t f32FrameBytes = intro_music::channelsPerFrame * sizeof(float);
// Copied from the adapter into one block this much at a time, so the song is
// never held twice in full.
constexpr gsize copyStepBytes = 1 << 20;
// Caps chosen again in a row while downstream keeps asking: more means it never settles.
constexpr int maximumNegotiations = 4;

struct ModuleDeleter {
    void operator()(intro_music::Module* module) const { intro_music::freeModule(module); }
};
using ModulePtr = std::unique_ptr<intro_music::Module, ModuleDeleter>;

// Everything the element changes at run time; a C++ object inside the GObject.
struct DecoderState {
    std::mutex moduleMutex;  // the Module and the property values
    ModulePtr module;
    std::vector<GValue> propertyValues;

    GstAdapter* adapter = gst_adapter_new();  // the song's bytes until upstream ends
    bool sizeChecked = false;
    bool refused = false;  // an error is posted: later data is dropped

    // Output, used by the source pad's task and by seeks under its stream lock.
    bool needsCaps = true;
    bool needsSegment = true;
    bool floatOutput = false;
    int32_t rate = intro_music::frameRate;
    GstSegment segment{};
    guint32 segmentSeqnum = GST_SEQNUM_INVALID;
    GstClockTime startTime = 0;  // of the first frame after the last seek
    guint64 framesSinceStart = 0;
    GstTagList* pendingTags = nullptr;

    GstClockTime passDuration = GST_CLOCK_TIME_NONE;
    std::atomic<GstClockTime> position{0};

    DecoderState() {
        for (const DecoderProperty& property : decoderProperties()) {
            GParamSpec* paramSpec = property.makeSpec(property.name);
            GValue value = G_VALUE_INIT;
            g_value_init(&value, G_PARAM_SPEC_VALUE_TYPE(paramSpec));
            g_param_value_set_default(paramSpec, &value);
            propertyValues.push_back(value);
            g_param_spec_unref(g_param_spec_ref_sink(paramSpec));
        }
        gst_segment_init(&segment, GST_FORMAT_TIME);
    }
    ~DecoderState() {
        forgetSong();
        g_object_unref(adapter);
        for (GValue& value : propertyValues) g_value_unset(&value);
    }
    DecoderState(const DecoderState&) = delete;
    DecoderState& operator=(const DecoderState&) = delete;

    void forgetSong() {
        {
            std::lock_guard lock(moduleMutex);
            module.reset();
        }
        gst_adapter_clear(adapter);
        sizeChecked = false;
        refused = false;
        needsCaps = true;
        needsSegment = true;
        gst_segment_init(&segment, GST_FORMAT_TIME);
        segmentSeqnum = GST_SEQNUM_INVALID;
        startTime = 0;
        framesSinceStart = 0;
        rate = intro_music::frameRate;  // a freshly loaded Module's
        if (pendingTags != nullptr) gst_tag_list_unref(pendingTags);
        pendingTags = nullptr;
        passDuration = GST_CLOCK_TIME_NONE;
        position = 0;
    }

    // The one-pass duration while the song plays one pass; none when it repeats.
    GstClockTime duration() {
        std::lock_guard lock(moduleMutex);
        return repeatCountLocked() == 0 ? passDuration : GST_CLOCK_TIME_NONE;
    }
    int repeatCountLocked() const {
        const auto table = decoderProperties();
        const auto entry = std::find_if(table.begin(), table.end(), [](const DecoderProperty& property) {
            return std::string_view(property.name) == repeatCountProperty;
        });
        return g_value_get_int(&propertyValues[static_cast<size_t>(entry - table.begin())]);
    }
};

}  // namespace

struct IntroMusicDec {
    GstElement parent;
    GstPad* sinkPad;
    GstPad* srcPad;
    DecoderState* state;
};

struct IntroMusicDecClass {
    GstElementClass parentClass;
};

G_DEFINE_TYPE(IntroMusicDec, intro_music_dec, GST_TYPE_ELEMENT)

namespace {

GstStaticPadTemplate sinkTemplate = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS("audio/x-xm; audio/x-mod, type = (string) xm"));
GstStaticPadTemplate srcTemplate = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/x-raw, format = (string) { S16LE, F32LE }, layout = (string) interleaved, "
                    "rate = (int) [ 8000, 192000 ], channels = (int) 2"));

IntroMusicDec* decoderOf(GstObject* parent) { return reinterpret_cast<IntroMusicDec*>(parent); }

GstClockTime framesToTime(guint64 frames, int32_t rate) {
    return gst_util_uint64_scale(frames, GST_SECOND, static_cast<guint64>(rate));
}

// GStreamer's error kind for a load failure, by the library's code.
void postLoadError(IntroMusicDec* self, const intro_music::Error& error) {
    switch (error.code) {
    case intro_music::ErrorCode::OutOfMemory:
        GST_ELEMENT_ERROR(self, RESOURCE, NO_SPACE_LEFT, ("%s", error.message), (nullptr));
        break;
    case intro_music::ErrorCode::NotASong:
    case intro_music::ErrorCode::Empty:
        GST_ELEMENT_ERROR(self, STREAM, DECODE, ("%s", error.message), (nullptr));
        break;
    default:
        GST_ELEMENT_ERROR(self, STREAM, FAILED, ("%s", error.message), (nullptr));
        break;
    }
}

void refuseTooLarge(IntroMusicDec* self, guint64 bytes) {
    self->state->refused = true;
    GST_ELEMENT_ERROR(self, RESOURCE, NO_SPACE_LEFT,
                      ("the song is %" G_GUINT64_FORMAT " bytes, larger than the largest song the library "
                       "loads (2 GiB); it is not read into memory",
                       bytes),
                      (nullptr));
}

// Loads the song the adapter holds; posts the error and returns false when it does not load.
bool loadSong(IntroMusicDec* self) {
    DecoderState& state = *self->state;
    const gsize size = gst_adapter_available(state.adapter);
    guint8* bytes = static_cast<guint8*>(g_try_malloc(std::max<gsize>(size, 1)));
    if (bytes == nullptr) {
        GST_ELEMENT_ERROR(self, RESOURCE, NO_SPACE_LEFT,
                          ("not enough memory for the %" G_GSIZE_FORMAT "-byte song", size), (nullptr));
        return false;
    }
    for (gsize copied = 0; copied < size;) {
        const gsize step = std::min(copyStepBytes, size - copied);
        gst_adapter_copy(state.adapter, bytes + copied, 0, step);
        gst_adapter_flush(state.adapter, step);
        copied += step;
    }
    intro_music::Error error{};
    ModulePtr module(intro_music::loadFromMemory(bytes, size, &error));
    g_free(bytes);
    if (!module) {
        postLoadError(self, error);
        return false;
    }
    for (int32_t index = 0; index < intro_music::loadWarningCount(module.get()); ++index) {
        GST_ELEMENT_WARNING(self, STREAM, DECODE, ("%s", intro_music::loadWarning(module.get(), index)), (nullptr));
    }

    std::lock_guard lock(state.moduleMutex);
    const auto properties = decoderProperties();
    for (size_t index = 0; index < properties.size(); ++index) {
        properties[index].apply(module.get(), &state.propertyValues[index]);
    }
    // The one pass is worked out here, under the rules just chosen.
    const intro_music::Metadata metadata = intro_music::metadata(module.get());
    state.passDuration = static_cast<GstClockTime>(std::llround(metadata.durationSeconds * GST_SECOND));
    state.pendingTags = songTags(module.get(), metadata);
    state.module = std::move(module);
    return true;
}

// Takes the first caps downstream accepts, at 44,100 Hz when it may choose.
bool negotiate(IntroMusicDec* self) {
    DecoderState& state = *self->state;
    GstCaps* templateCaps = gst_pad_get_pad_template_caps(self->srcPad);
    GstCaps* caps = gst_pad_peer_query_caps(self->srcPad, templateCaps);
    gst_caps_unref(templateCaps);
    if (gst_caps_is_empty(caps)) {
        gst_caps_unref(caps);
        return false;
    }
    caps = gst_caps_truncate(caps);
    caps = gst_caps_make_writable(caps);
    gst_structure_fixate_field_nearest_int(gst_caps_get_structure(caps, 0), "rate", intro_music::frameRate);
    caps = gst_caps_fixate(caps);

    const GstStructure* structure = gst_caps_get_structure(caps, 0);
    gint rate = 0;
    gst_structure_get_int(structure, "rate", &rate);
    state.floatOutput = g_strcmp0(gst_structure_get_string(structure, "format"), "F32LE") == 0;
    bool rateSet = true;
    if (rate != state.rate) {
        {
            std::lock_guard lock(state.moduleMutex);
            rateSet = intro_music::setOutputRate(state.module.get(), rate, nullptr);
        }
        // The song goes on from the same time at the new rate: time stamps count from here.
        state.startTime += framesToTime(state.framesSinceStart, state.rate);
        state.framesSinceStart = 0;
        state.rate = rate;
    }
    const bool set = rateSet && gst_pad_set_caps(self->srcPad, caps);
    gst_caps_unref(caps);
    return set;
}

void pushEndOfStream(IntroMusicDec* self) {
    GstEvent* event = gst_event_new_eos();
    if (self->state->segmentSeqnum != GST_SEQNUM_INVALID) gst_event_set_seqnum(event, self->state->segmentSeqnum);
    gst_pad_push_event(self->srcPad, event);
}

// The source pad's task: one buffer of the song per turn.
void renderLoop(gpointer data) {
    auto* self = static_cast<IntroMusicDec*>(data);
    DecoderState& state = *self->state;
    // Downstream may change its mind once linked: decodebin exposes our pad, and
    // the application links it, only when our first caps are set. Nothing is
    // rendered until the caps hold.
    for (int attempt = 0; state.needsCaps || gst_pad_check_reconfigure(self->srcPad); ++attempt) {
        if (attempt == maximumNegotiations || !negotiate(self)) {
            GST_ELEMENT_ERROR(self, CORE, NEGOTIATION, (nullptr),
                              ("downstream takes no stereo S16LE or F32LE at 8000..192000 Hz"));
            gst_pad_pause_task(self->srcPad);
            pushEndOfStream(self);
            return;
        }
        state.needsCaps = false;
    }
    if (state.needsSegment) {
        GstEvent* event = gst_event_new_segment(&state.segment);
        if (state.segmentSeqnum != GST_SEQNUM_INVALID) gst_event_set_seqnum(event, state.segmentSeqnum);
        gst_pad_push_event(self->srcPad, event);
        state.needsSegment = false;
    }
    if (state.pendingTags != nullptr) {
        gst_pad_push_event(self->srcPad, gst_event_new_tag(state.pendingTags));
        state.pendingTags = nullptr;
    }

    const int32_t frameBytes = state.floatOutput ? f32FrameBytes : s16FrameBytes;
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, static_cast<gsize>(framesPerBuffer * frameBytes), nullptr);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    int32_t frames = 0;
    {
        std::lock_guard lock(state.moduleMutex);
        frames = state.floatOutput
                     ? intro_music::renderFloat(state.module.get(), reinterpret_cast<float*>(map.data), framesPerBuffer)
                     : intro_music::render(state.module.get(), reinterpret_cast<int16_t*>(map.data), framesPerBuffer);
    }
    gst_buffer_unmap(buffer, &map);

    const GstClockTime start = state.startTime + framesToTime(state.framesSinceStart, state.rate);
    // A seek's stop position ends the stream there, to the frame.
    if (GST_CLOCK_TIME_IS_VALID(state.segment.stop)) {
        const guint64 framesToStop =
            state.segment.stop <= state.startTime
                ? 0
                : gst_util_uint64_scale(state.segment.stop - state.startTime, static_cast<guint64>(state.rate),
                                        GST_SECOND);
        const guint64 left = framesToStop > state.framesSinceStart ? framesToStop - state.framesSinceStart : 0;
        frames = static_cast<int32_t>(std::min<guint64>(static_cast<guint64>(frames), left));
    }
    if (frames == 0) {
        gst_buffer_unref(buffer);
        gst_pad_pause_task(self->srcPad);
        pushEndOfStream(self);
        return;
    }
    gst_buffer_set_size(buffer, static_cast<gssize>(frames * frameBytes));
    GST_BUFFER_OFFSET(buffer) = state.framesSinceStart;
    state.framesSinceStart += static_cast<guint64>(frames);
    GST_BUFFER_OFFSET_END(buffer) = state.framesSinceStart;
    const GstClockTime end = state.startTime + framesToTime(state.framesSinceStart, state.rate);
    GST_BUFFER_PTS(buffer) = start;
    GST_BUFFER_DURATION(buffer) = end - start;
    state.position = end;

    const GstFlowReturn flow = gst_pad_push(self->srcPad, buffer);
    if (flow != GST_FLOW_OK) {
        GST_DEBUG_OBJECT(self, "pausing: %s", gst_flow_get_name(flow));
        gst_pad_pause_task(self->srcPad);
        if (flow == GST_FLOW_EOS || flow == GST_FLOW_NOT_LINKED || flow < GST_FLOW_EOS) {
            if (flow != GST_FLOW_EOS) GST_ELEMENT_FLOW_ERROR(self, flow);
            pushEndOfStream(self);
        }
    }
}

bool startRendering(IntroMusicDec* self) {
    return gst_pad_start_task(self->srcPad, renderLoop, self, nullptr);
}

GstFlowReturn receiveSongBytes(GstPad*, GstObject* parent, GstBuffer* buffer) {
    IntroMusicDec* self = decoderOf(parent);
    DecoderState& state = *self->state;
    if (state.refused) {
        gst_buffer_unref(buffer);
        return GST_FLOW_ERROR;
    }
    if (state.module) {  // the whole song is loaded: nothing more is wanted
        gst_buffer_unref(buffer);
        return GST_FLOW_EOS;
    }
    if (!state.sizeChecked) {
        // Refused before a byte is held when upstream knows the size.
        state.sizeChecked = true;
        gint64 upstreamBytes = 0;
        if (gst_pad_peer_query_duration(self->sinkPad, GST_FORMAT_BYTES, &upstreamBytes) &&
            upstreamBytes > static_cast<gint64>(largestSongBytes)) {
            gst_buffer_unref(buffer);
            refuseTooLarge(self, static_cast<guint64>(upstreamBytes));
            return GST_FLOW_ERROR;
        }
    }
    gst_adapter_push(state.adapter, buffer);
    const gsize held = gst_adapter_available(state.adapter);
    if (held > largestSongBytes) {
        gst_adapter_clear(state.adapter);
        refuseTooLarge(self, held);
        return GST_FLOW_ERROR;
    }
    return GST_FLOW_OK;
}

gboolean handleSinkEvent(GstPad* pad, GstObject* parent, GstEvent* event) {
    IntroMusicDec* self = decoderOf(parent);
    DecoderState& state = *self->state;
    switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_EOS: {
        // The whole song is here: load it and start playing. Our own EOS follows its end.
        gst_event_unref(event);
        if (state.module || state.refused) return TRUE;
        if (!loadSong(self)) {
            state.refused = true;
            return FALSE;
        }
        GST_OBJECT_LOCK(self->srcPad);
        const bool active = GST_PAD_MODE(self->srcPad) == GST_PAD_MODE_PUSH;
        GST_OBJECT_UNLOCK(self->srcPad);
        return active ? startRendering(self) : TRUE;
    }
    case GST_EVENT_FLUSH_STOP:
        if (!state.module) gst_adapter_clear(state.adapter);
        gst_event_unref(event);
        return TRUE;
    // Upstream's byte segment, file caps and tags, and its flushes, are not our output's.
    case GST_EVENT_FLUSH_START:
    case GST_EVENT_SEGMENT:
    case GST_EVENT_CAPS:
    case GST_EVENT_TAG:
        gst_event_unref(event);
        return TRUE;
    default:
        return gst_pad_event_default(pad, parent, event);
    }
}

bool seek(IntroMusicDec* self, GstEvent* event) {
    DecoderState& state = *self->state;
    gdouble rate = 1.0;
    GstFormat format = GST_FORMAT_UNDEFINED;
    GstSeekFlags flags = GST_SEEK_FLAG_NONE;
    GstSeekType startType = GST_SEEK_TYPE_NONE, stopType = GST_SEEK_TYPE_NONE;
    gint64 start = 0, stop = 0;
    gst_event_parse_seek(event, &rate, &format, &flags, &startType, &start, &stopType, &stop);
    if (format != GST_FORMAT_TIME || rate != 1.0) {
        GST_DEBUG_OBJECT(self, "only forward seeks in time at rate 1 are supported");
        return false;
    }
    GstClockTime pass = GST_CLOCK_TIME_NONE;
    {
        std::lock_guard lock(state.moduleMutex);
        if (!state.module) return false;
        pass = state.passDuration;
    }
    // Only times of the first pass are reached: nothing is flushed for others.
    if (startType == GST_SEEK_TYPE_SET && (start < 0 || static_cast<GstClockTime>(start) > pass)) {
        GST_DEBUG_OBJECT(self, "seek to %" GST_TIME_FORMAT " is outside the first pass", GST_TIME_ARGS(start));
        return false;
    }
    const guint32 seqnum = gst_event_get_seqnum(event);
    const bool flush = (flags & GST_SEEK_FLAG_FLUSH) != 0;
    if (flush) {
        GstEvent* flushStart = gst_event_new_flush_start();
        gst_event_set_seqnum(flushStart, seqnum);
        gst_pad_push_event(self->srcPad, flushStart);
    }
    gst_pad_pause_task(self->srcPad);
    GST_PAD_STREAM_LOCK(self->srcPad);

    GstSegment seeked = state.segment;
    gst_segment_do_seek(&seeked, rate, format, flags, startType, static_cast<guint64>(start), stopType,
                        static_cast<guint64>(stop), nullptr);
    const GstClockTime target = seeked.position;
    intro_music::Error error{};
    bool moved = false;
    {
        std::lock_guard lock(state.moduleMutex);
        moved = intro_music::seekToTime(state.module.get(), static_cast<double>(target) / GST_SECOND, &error);
    }
    if (moved) {
        seeked.start = seeked.time = seeked.position = target;
        state.segment = seeked;
        state.segmentSeqnum = seqnum;
        state.startTime = target;
        state.framesSinceStart = 0;
        state.position = target;
        state.needsSegment = true;
    } else {
        GST_DEBUG_OBJECT(self, "seek to %" GST_TIME_FORMAT " refused: %s", GST_TIME_ARGS(target), error.message);
    }
    if (flush) {
        GstEvent* flushStop = gst_event_new_flush_stop(TRUE);
        gst_event_set_seqnum(flushStop, seqnum);
        gst_pad_push_event(self->srcPad, flushStop);
        // The flush dropped the segment downstream: send it again even when the seek failed.
        state.needsSegment = true;
    }
    startRendering(self);
    GST_PAD_STREAM_UNLOCK(self->srcPad);
    return moved;
}

gboolean handleSrcEvent(GstPad* pad, GstObject* parent, GstEvent* event) {
    IntroMusicDec* self = decoderOf(parent);
    if (GST_EVENT_TYPE(event) == GST_EVENT_SEEK) {
        const bool moved = seek(self, event);
        gst_event_unref(event);
        return moved;
    }
    return gst_pad_event_default(pad, parent, event);
}

gboolean handleSrcQuery(GstPad* pad, GstObject* parent, GstQuery* query) {
    IntroMusicDec* self = decoderOf(parent);
    DecoderState& state = *self->state;
    switch (GST_QUERY_TYPE(query)) {
    case GST_QUERY_POSITION: {
        GstFormat format;
        gst_query_parse_position(query, &format, nullptr);
        if (format != GST_FORMAT_TIME) break;
        gst_query_set_position(query, GST_FORMAT_TIME, static_cast<gint64>(state.position.load()));
        return TRUE;
    }
    case GST_QUERY_DURATION: {
        GstFormat format;
        gst_query_parse_duration(query, &format, nullptr);
        if (format != GST_FORMAT_TIME) break;
        const GstClockTime duration = state.duration();
        if (!GST_CLOCK_TIME_IS_VALID(duration)) return FALSE;
        gst_query_set_duration(query, GST_FORMAT_TIME, static_cast<gint64>(duration));
        return TRUE;
    }
    case GST_QUERY_SEEKING: {
        GstFormat format;
        gst_query_parse_seeking(query, &format, nullptr, nullptr, nullptr);
        if (format != GST_FORMAT_TIME) break;
        // Seeks reach any time of the first pass.
        GstClockTime pass = GST_CLOCK_TIME_NONE;
        {
            std::lock_guard lock(state.moduleMutex);
            if (state.module) pass = state.passDuration;
        }
        gst_query_set_seeking(query, GST_FORMAT_TIME, GST_CLOCK_TIME_IS_VALID(pass), 0,
                              GST_CLOCK_TIME_IS_VALID(pass) ? static_cast<gint64>(pass) : -1);
        return TRUE;
    }
    default:
        break;
    }
    return gst_pad_query_default(pad, parent, query);
}

gboolean activateSrcMode(GstPad* pad, GstObject*, GstPadMode mode, gboolean active) {
    if (mode != GST_PAD_MODE_PUSH) return FALSE;
    return active ? TRUE : gst_pad_stop_task(pad);
}

void setProperty(GObject* object, guint id, const GValue* value, GParamSpec* paramSpec) {
    const auto properties = intro_music_gst::decoderProperties();
    if (id == 0 || id > properties.size()) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, paramSpec);
        return;
    }
    const size_t index = id - 1;
    DecoderState& state = *reinterpret_cast<IntroMusicDec*>(object)->state;
    bool playing = false;
    {
        std::lock_guard lock(state.moduleMutex);
        g_value_copy(value, &state.propertyValues[index]);
        playing = state.module != nullptr;
        if (playing && properties[index].changesWhilePlaying) properties[index].apply(state.module.get(), value);
    }
    // Whether a duration is known follows the repeat count.
    if (playing && std::string_view(properties[index].name) == repeatCountProperty) {
        gst_element_post_message(GST_ELEMENT(object), gst_message_new_duration_changed(GST_OBJECT(object)));
    }
}

void getProperty(GObject* object, guint id, GValue* value, GParamSpec* paramSpec) {
    if (id == 0 || id > intro_music_gst::decoderProperties().size()) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, paramSpec);
        return;
    }
    DecoderState& state = *reinterpret_cast<IntroMusicDec*>(object)->state;
    std::lock_guard lock(state.moduleMutex);
    g_value_copy(&state.propertyValues[id - 1], value);
}

GstStateChangeReturn changeState(GstElement* element, GstStateChange transition) {
    auto* self = reinterpret_cast<IntroMusicDec*>(element);
    if (transition == GST_STATE_CHANGE_READY_TO_PAUSED) self->state->forgetSong();
    const GstStateChangeReturn result =
        GST_ELEMENT_CLASS(intro_music_dec_parent_class)->change_state(element, transition);
    if (transition == GST_STATE_CHANGE_PAUSED_TO_READY) {
        gst_pad_stop_task(self->srcPad);
        self->state->forgetSong();
    }
    return result;
}

void finalize(GObject* object) {
    delete reinterpret_cast<IntroMusicDec*>(object)->state;
    G_OBJECT_CLASS(intro_music_dec_parent_class)->finalize(object);
}

}  // namespace

static void intro_music_dec_class_init(IntroMusicDecClass* klass) {
    GObjectClass* objectClass = G_OBJECT_CLASS(klass);
    GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
    objectClass->set_property = setProperty;
    objectClass->get_property = getProperty;
    objectClass->finalize = finalize;
    const auto properties = intro_music_gst::decoderProperties();
    for (size_t index = 0; index < properties.size(); ++index) {
        g_object_class_install_property(objectClass, static_cast<guint>(index + 1),
                                        properties[index].makeSpec(properties[index].name));
    }
    gst_element_class_add_static_pad_template(elementClass, &sinkTemplate);
    gst_element_class_add_static_pad_template(elementClass, &srcTemplate);
    gst_element_class_set_static_metadata(elementClass, "intro music XM decoder", "Codec/Decoder/Audio",
                                          "Plays Extended Module (XM) tracker songs with the intro music engine",
                                          "intro developers");
    elementClass->change_state = changeState;
    GST_DEBUG_CATEGORY_INIT(intro_music_dec_debug, intro_music_gst::decoderName, 0, "intro music XM decoder");
}

static void intro_music_dec_init(IntroMusicDec* self) {
    self->state = new DecoderState();
    self->sinkPad = gst_pad_new_from_static_template(&sinkTemplate, "sink");
    gst_pad_set_chain_function(self->sinkPad, receiveSongBytes);
    gst_pad_set_event_function(self->sinkPad, handleSinkEvent);
    gst_element_add_pad(GST_ELEMENT(self), self->sinkPad);
    self->srcPad = gst_pad_new_from_static_template(&srcTemplate, "src");
    gst_pad_set_event_function(self->srcPad, handleSrcEvent);
    gst_pad_set_query_function(self->srcPad, handleSrcQuery);
    gst_pad_set_activatemode_function(self->srcPad, activateSrcMode);
    gst_element_add_pad(GST_ELEMENT(self), self->srcPad);
}

namespace intro_music_gst {

GType songDecoderType() { return intro_music_dec_get_type(); }

gboolean registerSongDecoder(GstPlugin* plugin) {
    return gst_element_register(plugin, decoderName, decoderRank, songDecoderType());
}

}  // namespace intro_music_gst
