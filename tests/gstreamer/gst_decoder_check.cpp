// Runs the decoder element in a pipeline of its own, with the plugin
// registered statically (so that a sanitizer build checks the element
// itself, and no registry outside the test is read for it):
//   gst_decoder_check decode SONG OUT FORMAT RATE [START[:STOP]|-] [PROPERTY=VALUE...]
//       filesrc ! decodebin ! audioconvert ! FORMAT, RATE, stereo; the bytes
//       from the start, or from an accurate flushing seek (seconds) made while
//       paused, written to OUT. The properties are set on the decoder decodebin makes.
//   gst_decoder_check play SONG
//       playbin with fake sinks, to the end of the stream.
// Exit status 0 at EOS; 1 with the bus's error message on stderr; 2 for a
// usage error; 3 when no EOS or error comes within the deadline.
#include "plugin_features.h"

#include <gst/gst.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(INTRO_UNDER_ADDRESS_SANITIZER)
// GLib's library constructor allocates a block it never frees. Full stacks
// (the uninstrumented GLib has no frame pointers) reach the loader, and only
// what is allocated while libraries load is left out of the leak report.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
extern "C" const char* __lsan_default_suppressions() { return "leak:_dl_init\n"; }
#endif

namespace {

// Far beyond any test song's render at full speed, even under a sanitizer.
constexpr GstClockTime deadline = 300 * GST_SECOND;

enum Status { reachedEnd = 0, busError = 1, usageError = 2, timedOut = 3 };

struct Collected {
    std::vector<guint8> bytes;
};

// Keeps what reaches the sink; a flush (the seek's) drops what came before.
GstPadProbeReturn collect(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* collected = static_cast<Collected*>(data);
    if ((GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER) != 0) {
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        GstMapInfo map;
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            collected->bytes.insert(collected->bytes.end(), map.data, map.data + map.size);
            gst_buffer_unmap(buffer, &map);
        }
    } else if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_FLUSH_STOP) {
        collected->bytes.clear();
    }
    return GST_PAD_PROBE_OK;
}

// Waits for one of the message types; an error is printed and returned as busError.
Status waitFor(GstElement* pipeline, GstMessageType wanted) {
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message = gst_bus_timed_pop_filtered(
        bus, deadline, static_cast<GstMessageType>(wanted | GST_MESSAGE_ERROR));
    gst_object_unref(bus);
    if (message == nullptr) {
        std::fprintf(stderr, "gst_decoder_check: nothing within the deadline\n");
        return timedOut;
    }
    Status status = reachedEnd;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        GError* error = nullptr;
        gchar* details = nullptr;
        gst_message_parse_error(message, &error, &details);
        std::fprintf(stderr, "error from %s: %s\n%s\n", GST_OBJECT_NAME(GST_MESSAGE_SRC(message)), error->message,
                     details != nullptr ? details : "");
        g_error_free(error);
        g_free(details);
        status = busError;
    }
    gst_message_unref(message);
    return status;
}

// Sets the PROPERTY=VALUE arguments on every decoder element the pipeline gains.
void setDecoderProperties(GstBin*, GstBin*, GstElement* element, gpointer data) {
    GstElementFactory* factory = gst_element_get_factory(element);
    if (factory == nullptr || g_strcmp0(GST_OBJECT_NAME(factory), "intromusicdec") != 0) return;
    for (const std::string& setting : *static_cast<const std::vector<std::string>*>(data)) {
        const size_t equals = setting.find('=');
        gst_util_set_object_arg(G_OBJECT(element), setting.substr(0, equals).c_str(),
                                setting.substr(equals + 1).c_str());
    }
}

Status decode(const char* song, const char* out, const char* format, const char* rate, const char* seekSeconds,
              const std::vector<std::string>& properties) {
    gchar* location = g_strescape(song, nullptr);
    const std::string description = std::string("filesrc location=\"") + location +
                                    "\" ! decodebin ! audioconvert ! audio/x-raw,format=" + format +
                                    ",rate=" + rate + ",channels=2 ! fakesink name=sink sync=false";
    g_free(location);
    GError* parseError = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &parseError);
    if (pipeline == nullptr) {
        std::fprintf(stderr, "gst_decoder_check: %s\n", parseError->message);
        g_error_free(parseError);
        return usageError;
    }
    g_signal_connect(pipeline, "deep-element-added", G_CALLBACK(setDecoderProperties),
                     const_cast<std::vector<std::string>*>(&properties));
    Collected collected;
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    GstPad* sinkPad = gst_element_get_static_pad(sink, "sink");
    gst_pad_add_probe(sinkPad,
                      static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_FLUSH),
                      collect, &collected, nullptr);
    gst_object_unref(sinkPad);
    gst_object_unref(sink);

    Status status = reachedEnd;
    if (seekSeconds != nullptr) {
        gst_element_set_state(pipeline, GST_STATE_PAUSED);
        status = waitFor(pipeline, GST_MESSAGE_ASYNC_DONE);
        // START or START:STOP, in seconds.
        const char* stopText = std::strchr(seekSeconds, ':');
        const auto start = static_cast<gint64>(std::atof(seekSeconds) * GST_SECOND);
        const gint64 stop = stopText != nullptr ? static_cast<gint64>(std::atof(stopText + 1) * GST_SECOND) : -1;
        if (status == reachedEnd &&
            !gst_element_seek(pipeline, 1.0, GST_FORMAT_TIME,
                              static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                              GST_SEEK_TYPE_SET, start, stopText != nullptr ? GST_SEEK_TYPE_SET : GST_SEEK_TYPE_NONE,
                              stop)) {
            std::fprintf(stderr, "gst_decoder_check: the seek to %s s was refused\n", seekSeconds);
            status = busError;
        }
    }
    if (status == reachedEnd) {
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
        status = waitFor(pipeline, GST_MESSAGE_EOS);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);

    if (status == reachedEnd) {
        FILE* file = std::fopen(out, "wb");
        const bool written = file != nullptr &&
                             std::fwrite(collected.bytes.data(), 1, collected.bytes.size(), file) ==
                                 collected.bytes.size();
        if (file == nullptr || std::fclose(file) != 0 || !written) {
            std::fprintf(stderr, "gst_decoder_check: %s not written\n", out);
            return usageError;
        }
    }
    return status;
}

Status play(const char* song) {
    GError* uriError = nullptr;
    gchar* uri = gst_filename_to_uri(song, &uriError);
    if (uri == nullptr) {
        std::fprintf(stderr, "gst_decoder_check: %s\n", uriError->message);
        g_error_free(uriError);
        return usageError;
    }
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    GstElement* audioSink = gst_element_factory_make("fakesink", nullptr);
    GstElement* videoSink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(audioSink, "sync", FALSE, nullptr);
    g_object_set(playbin, "uri", uri, "audio-sink", audioSink, "video-sink", videoSink, nullptr);
    g_free(uri);
    gst_element_set_state(playbin, GST_STATE_PLAYING);
    const Status status = waitFor(playbin, GST_MESSAGE_EOS);
    gst_element_set_state(playbin, GST_STATE_NULL);
    gst_object_unref(playbin);
    return status;
}

}  // namespace

int main(int argumentCount, char** arguments) {
    gst_init(&argumentCount, &arguments);
    if (!gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, intro_music_gst::pluginName,
                                    intro_music_gst::pluginDescription, intro_music_gst::registerPluginFeatures,
                                    "0", "MIT/X11", "gst-intro-music", "gst-intro-music", "intro")) {
        std::fprintf(stderr, "gst_decoder_check: the plugin does not register\n");
        return usageError;
    }
    const std::string mode = argumentCount > 1 ? arguments[1] : "";
    Status status = usageError;
    if (mode == "decode" && argumentCount >= 6) {
        const bool seeks = argumentCount >= 7 && std::string(arguments[6]) != "-";
        const std::vector<std::string> properties(arguments + std::min(argumentCount, 7), arguments + argumentCount);
        status = decode(arguments[2], arguments[3], arguments[4], arguments[5], seeks ? arguments[6] : nullptr,
                        properties);
    } else if (mode == "play" && argumentCount == 3) {
        status = play(arguments[2]);
    } else {
        std::fprintf(stderr, "usage: gst_decoder_check decode SONG OUT FORMAT RATE [START[:STOP]|-] [PROPERTY=VALUE...]\n"
                             "       gst_decoder_check play SONG\n");
    }
    gst_deinit();
    return status;
}
