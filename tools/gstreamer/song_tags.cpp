#include "song_tags.h"

#include <string>

namespace intro_music_gst {
namespace {

// Tag strings must be UTF-8; songs' texts are bytes in the code page of the
// tracker's system: Windows' western one for most, else the DOS one (which
// gives every byte a character).
std::string tagText(const char* text) {
    if (g_utf8_validate(text, -1, nullptr)) return text;
    gchar* converted = g_convert(text, -1, "UTF-8", "WINDOWS-1252", nullptr, nullptr, nullptr);
    if (converted == nullptr) converted = g_convert(text, -1, "UTF-8", "CP437", nullptr, nullptr, nullptr);
    if (converted == nullptr) converted = g_utf8_make_valid(text, -1);
    std::string result = converted;
    g_free(converted);
    return result;
}

}  // namespace

GstTagList* songTags(const intro_music::Module* module, const intro_music::Metadata& metadata) {
    GstTagList* tags = gst_tag_list_new_empty();
    if (metadata.title[0] != '\0') {
        gst_tag_list_add(tags, GST_TAG_MERGE_REPLACE, GST_TAG_TITLE, tagText(metadata.title).c_str(), nullptr);
    }
    if (metadata.trackerName[0] != '\0') {
        gst_tag_list_add(tags, GST_TAG_MERGE_REPLACE, GST_TAG_ENCODER, tagText(metadata.trackerName).c_str(), nullptr);
    }
    // Trackers' musicians write their messages into the instrument names.
    std::string names;
    for (int32_t instrument = 1; instrument <= metadata.instruments; ++instrument) {
        const char* name = intro_music::instrumentName(module, instrument);
        if (name[0] == '\0') continue;
        if (!names.empty()) names += '\n';
        names += tagText(name);
    }
    if (!names.empty()) gst_tag_list_add(tags, GST_TAG_MERGE_REPLACE, GST_TAG_COMMENT, names.c_str(), nullptr);
    // No standard tag counts a song's pattern channels: an extended comment does, as key=value.
    const std::string channels = "channels=" + std::to_string(metadata.channels);
    gst_tag_list_add(tags, GST_TAG_MERGE_REPLACE, GST_TAG_EXTENDED_COMMENT, channels.c_str(), nullptr);
    gst_tag_list_add(tags, GST_TAG_MERGE_REPLACE, GST_TAG_AUDIO_CODEC, "Extended Module", nullptr);
    return tags;
}

}  // namespace intro_music_gst
