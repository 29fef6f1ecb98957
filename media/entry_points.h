// The one list of every FFmpeg and SDL2 entry point the media code calls, grouped
// by the library that exports it, and the table of typed slots built from it.
//
// Call through the table once the library's set is loaded (see loader.h):
//     media::Av().avcodec_send_packet(context, packet);
//
// To add an entry point: add one line to its library's list below.
//   REQ(name)        required: the library fails to load when it is missing;
//   OPT(name)        optional: the slot stays null when the library lacks it;
//   GONE(name, type) optional, for a name today's headers no longer declare
//                    (type is the function type, e.g. unsigned(void)).
// The slot's type comes from the header declaration (decltype), so a wrong
// argument is a compile error, not a crash.
#pragma once

#include <type_traits>

#include "media/av_headers.h"

// clang-format off
#define KESTROVA_AVUTIL_ENTRY_POINTS(REQ, OPT, GONE) \
  REQ(avutil_version) \
  REQ(av_log) REQ(av_vlog) REQ(av_log_set_callback) REQ(av_log_set_level) REQ(av_log_get_level) \
  REQ(av_log_default_callback) REQ(av_log_set_flags) REQ(av_log_format_line2) REQ(av_default_item_name) \
  REQ(av_strerror) \
  REQ(av_malloc) REQ(av_mallocz) REQ(av_realloc) REQ(av_free) REQ(av_freep) REQ(av_strdup) \
  REQ(av_strlcpy) REQ(av_strstart) REQ(av_fast_malloc) REQ(av_fast_realloc) \
  REQ(av_gcd) REQ(av_reduce) REQ(av_rescale) REQ(av_rescale_rnd) REQ(av_rescale_q) REQ(av_rescale_q_rnd) \
  REQ(av_compare_ts) REQ(av_find_nearest_q_idx) REQ(av_d2q) REQ(av_mul_q) REQ(av_div_q) \
  REQ(av_get_pix_fmt) REQ(av_get_pix_fmt_name) REQ(av_pix_fmt_desc_get) REQ(av_get_bits_per_pixel) \
  REQ(av_get_sample_fmt) REQ(av_get_sample_fmt_name) REQ(av_get_bytes_per_sample) \
  REQ(av_sample_fmt_is_planar) REQ(av_get_packed_sample_fmt) REQ(av_samples_alloc) \
  REQ(av_samples_get_buffer_size) REQ(av_samples_set_silence) REQ(av_get_media_type_string) \
  REQ(av_get_picture_type_char) \
  REQ(av_frame_alloc) REQ(av_frame_free) REQ(av_frame_ref) REQ(av_frame_unref) REQ(av_frame_move_ref) \
  REQ(av_frame_clone) REQ(av_frame_get_buffer) REQ(av_frame_make_writable) REQ(av_frame_copy) \
  REQ(av_frame_copy_props) \
  REQ(av_image_alloc) REQ(av_image_get_buffer_size) REQ(av_image_fill_arrays) REQ(av_image_copy) \
  REQ(av_image_copy_to_buffer) REQ(av_image_fill_linesizes) \
  REQ(av_dict_get) REQ(av_dict_set) REQ(av_dict_set_int) REQ(av_dict_copy) REQ(av_dict_free) \
  REQ(av_dict_count) \
  REQ(av_opt_set) REQ(av_opt_set_int) REQ(av_opt_set_double) REQ(av_opt_set_q) REQ(av_opt_set_bin) \
  REQ(av_opt_set_image_size) REQ(av_opt_set_pixel_fmt) REQ(av_opt_set_sample_fmt) \
  REQ(av_opt_set_chlayout) REQ(av_opt_set_dict) REQ(av_opt_set_dict2) REQ(av_opt_get) \
  REQ(av_opt_get_int) REQ(av_opt_find) REQ(av_opt_next) REQ(av_opt_set_defaults) REQ(av_opt_child_next) \
  REQ(av_opt_free) \
  REQ(av_parse_time) REQ(av_parse_video_size) REQ(av_parse_video_rate) REQ(av_parse_ratio) \
  REQ(av_gettime) REQ(av_gettime_relative) REQ(av_usleep) \
  REQ(av_fifo_alloc2) REQ(av_fifo_freep2) REQ(av_fifo_read) REQ(av_fifo_write) REQ(av_fifo_peek) \
  REQ(av_fifo_can_read) REQ(av_fifo_can_write) REQ(av_fifo_grow2) REQ(av_fifo_reset2) \
  REQ(av_audio_fifo_alloc) REQ(av_audio_fifo_free) REQ(av_audio_fifo_write) REQ(av_audio_fifo_read) \
  REQ(av_audio_fifo_size) REQ(av_audio_fifo_drain) REQ(av_audio_fifo_reset) \
  REQ(av_channel_layout_default) REQ(av_channel_layout_uninit) REQ(av_channel_layout_copy) \
  REQ(av_channel_layout_describe) REQ(av_channel_layout_compare) REQ(av_channel_layout_from_mask) \
  REQ(av_get_default_channel_layout) REQ(av_get_channel_layout_nb_channels)

#define KESTROVA_SWRESAMPLE_ENTRY_POINTS(REQ, OPT, GONE) \
  REQ(swresample_version) \
  REQ(swr_alloc) REQ(swr_alloc_set_opts) REQ(swr_alloc_set_opts2) REQ(swr_init) REQ(swr_is_initialized) \
  REQ(swr_free) REQ(swr_close) REQ(swr_convert) REQ(swr_convert_frame) REQ(swr_get_delay) \
  REQ(swr_get_out_samples) REQ(swr_set_compensation)

#define KESTROVA_SWSCALE_ENTRY_POINTS(REQ, OPT, GONE) \
  REQ(swscale_version) \
  REQ(sws_getContext) REQ(sws_getCachedContext) REQ(sws_freeContext) REQ(sws_scale) \
  REQ(sws_alloc_context) REQ(sws_init_context) REQ(sws_get_class) REQ(sws_isSupportedInput) \
  REQ(sws_isSupportedOutput) REQ(sws_setColorspaceDetails) REQ(sws_getCoefficients)

#define KESTROVA_AVCODEC_ENTRY_POINTS(REQ, OPT, GONE) \
  REQ(avcodec_version) \
  REQ(avcodec_find_decoder) REQ(avcodec_find_decoder_by_name) REQ(avcodec_find_encoder) \
  REQ(avcodec_find_encoder_by_name) REQ(av_codec_iterate) REQ(av_codec_is_encoder) \
  REQ(av_codec_is_decoder) REQ(avcodec_get_name) REQ(avcodec_descriptor_get) \
  REQ(avcodec_get_class) REQ(avcodec_get_type) REQ(avcodec_string) \
  REQ(avcodec_alloc_context3) REQ(avcodec_free_context) REQ(avcodec_open2) REQ(avcodec_close) \
  REQ(avcodec_parameters_alloc) REQ(avcodec_parameters_free) REQ(avcodec_parameters_copy) \
  REQ(avcodec_parameters_to_context) REQ(avcodec_parameters_from_context) \
  REQ(avcodec_send_packet) REQ(avcodec_receive_frame) REQ(avcodec_send_frame) \
  REQ(avcodec_receive_packet) REQ(avcodec_flush_buffers) REQ(avcodec_default_get_buffer2) \
  REQ(avcodec_align_dimensions2) REQ(avcodec_decode_subtitle2) REQ(avcodec_encode_subtitle) \
  REQ(avsubtitle_free) \
  REQ(av_packet_alloc) REQ(av_packet_free) REQ(av_packet_ref) REQ(av_packet_unref) \
  REQ(av_packet_move_ref) REQ(av_packet_clone) REQ(av_packet_rescale_ts) REQ(av_new_packet) \
  REQ(av_grow_packet) REQ(av_shrink_packet) REQ(av_packet_make_writable) OPT(av_init_packet) \
  REQ(av_get_bits_per_sample) REQ(av_get_exact_bits_per_sample) \
  REQ(av_bsf_get_by_name) REQ(av_bsf_alloc) REQ(av_bsf_init) REQ(av_bsf_send_packet) \
  REQ(av_bsf_receive_packet) REQ(av_bsf_free) \
  REQ(av_parser_init) REQ(av_parser_parse2) REQ(av_parser_close) \
  OPT(av_rdft_init) OPT(av_rdft_calc) OPT(av_rdft_end) \
  /* Gone since the 2010 libraries; its absence tells the player to skip direct rendering. */ \
  GONE(avcodec_get_edge_width, unsigned(void))

#define KESTROVA_AVFORMAT_ENTRY_POINTS(REQ, OPT, GONE) \
  REQ(avformat_version) \
  REQ(avformat_alloc_context) REQ(avformat_free_context) REQ(avformat_open_input) \
  REQ(avformat_close_input) REQ(avformat_find_stream_info) REQ(av_find_input_format) \
  REQ(av_guess_format) REQ(av_demuxer_iterate) REQ(av_muxer_iterate) REQ(avformat_get_class) \
  REQ(av_read_frame) REQ(av_read_play) REQ(av_read_pause) REQ(av_seek_frame) REQ(avformat_seek_file) \
  REQ(avformat_flush) REQ(av_find_best_stream) REQ(av_guess_frame_rate) \
  REQ(av_guess_sample_aspect_ratio) REQ(avformat_match_stream_specifier) \
  REQ(avformat_alloc_output_context2) REQ(avformat_new_stream) REQ(av_new_program) \
  REQ(avformat_init_output) REQ(avformat_write_header) REQ(av_interleaved_write_frame) \
  REQ(av_write_frame) REQ(av_write_trailer) REQ(avformat_query_codec) \
  REQ(av_dump_format) REQ(av_pkt_dump_log2) REQ(av_sdp_create) \
  REQ(av_filename_number_test) REQ(av_get_frame_filename) REQ(av_codec_get_id) REQ(av_codec_get_tag) \
  REQ(avformat_network_init) REQ(avformat_network_deinit) \
  REQ(avio_open) REQ(avio_open2) REQ(avio_close) REQ(avio_closep) REQ(avio_alloc_context) \
  REQ(avio_context_free) REQ(avio_read) REQ(avio_write) REQ(avio_flush) REQ(avio_seek) REQ(avio_skip) \
  REQ(avio_size) REQ(avio_feof) REQ(avio_w8) REQ(avio_wb32) REQ(avio_find_protocol_name) REQ(avio_check)

#define KESTROVA_AVFILTER_ENTRY_POINTS(REQ, OPT, GONE) \
  REQ(avfilter_version) \
  REQ(avfilter_get_by_name) REQ(avfilter_get_class) REQ(avfilter_graph_alloc) REQ(avfilter_graph_free) \
  REQ(avfilter_graph_create_filter) REQ(avfilter_graph_alloc_filter) REQ(avfilter_init_str) \
  REQ(avfilter_init_dict) REQ(avfilter_link) REQ(avfilter_graph_parse2) REQ(avfilter_graph_parse_ptr) \
  REQ(avfilter_graph_config) REQ(avfilter_graph_dump) REQ(avfilter_graph_send_command) \
  REQ(avfilter_inout_alloc) REQ(avfilter_inout_free) REQ(avfilter_pad_get_name) REQ(avfilter_pad_get_type) \
  REQ(av_buffersrc_add_frame) REQ(av_buffersrc_add_frame_flags) REQ(av_buffersrc_write_frame) \
  REQ(av_buffersrc_parameters_alloc) REQ(av_buffersrc_parameters_set) \
  REQ(av_buffersrc_get_nb_failed_requests) \
  REQ(av_buffersink_get_frame) REQ(av_buffersink_get_frame_flags) REQ(av_buffersink_get_samples) \
  REQ(av_buffersink_set_frame_size) REQ(av_buffersink_get_time_base) REQ(av_buffersink_get_format) \
  REQ(av_buffersink_get_w) REQ(av_buffersink_get_h) REQ(av_buffersink_get_sample_aspect_ratio) \
  REQ(av_buffersink_get_frame_rate) REQ(av_buffersink_get_sample_rate) REQ(av_buffersink_get_ch_layout)

#define KESTROVA_AVDEVICE_ENTRY_POINTS(REQ, OPT, GONE) \
  REQ(avdevice_version) REQ(avdevice_register_all)

// The C runtime routines the old code took from the Windows runtime come from
// our own C library; nothing is bound for it.
#define KESTROVA_CRT_ENTRY_POINTS(REQ, OPT, GONE)

#define KESTROVA_SDL_ENTRY_POINTS(REQ, OPT, GONE) \
  REQ(SDL_GetVersion) REQ(SDL_Init) REQ(SDL_InitSubSystem) REQ(SDL_QuitSubSystem) REQ(SDL_WasInit) \
  REQ(SDL_Quit) REQ(SDL_GetError) REQ(SDL_ClearError) REQ(SDL_SetHint) REQ(SDL_setenv) \
  REQ(SDL_GetCurrentAudioDriver) REQ(SDL_GetCurrentVideoDriver) \
  REQ(SDL_AddTimer) REQ(SDL_RemoveTimer) REQ(SDL_Delay) REQ(SDL_GetTicks) \
  REQ(SDL_OpenAudio) REQ(SDL_PauseAudio) REQ(SDL_CloseAudio) REQ(SDL_OpenAudioDevice) \
  REQ(SDL_PauseAudioDevice) REQ(SDL_CloseAudioDevice) REQ(SDL_LockAudioDevice) \
  REQ(SDL_UnlockAudioDevice) REQ(SDL_MixAudio) REQ(SDL_MixAudioFormat) \
  REQ(SDL_WaitEvent) REQ(SDL_WaitEventTimeout) REQ(SDL_PollEvent) REQ(SDL_PushEvent) \
  REQ(SDL_PeepEvents) REQ(SDL_PumpEvents) REQ(SDL_FlushEvent) REQ(SDL_EventState) REQ(SDL_RegisterEvents) \
  REQ(SDL_CreateWindow) REQ(SDL_CreateWindowFrom) REQ(SDL_DestroyWindow) REQ(SDL_SetWindowTitle) \
  REQ(SDL_SetWindowSize) REQ(SDL_GetWindowSize) REQ(SDL_ShowWindow) REQ(SDL_HideWindow) \
  REQ(SDL_SetWindowFullscreen) REQ(SDL_GetWindowID) REQ(SDL_ShowCursor) \
  REQ(SDL_CreateRenderer) REQ(SDL_DestroyRenderer) REQ(SDL_RenderClear) REQ(SDL_RenderCopy) \
  REQ(SDL_RenderPresent) REQ(SDL_SetRenderDrawColor) REQ(SDL_RenderFillRect) \
  REQ(SDL_GetRendererOutputSize) REQ(SDL_RenderReadPixels) \
  REQ(SDL_CreateTexture) REQ(SDL_DestroyTexture) REQ(SDL_UpdateYUVTexture) REQ(SDL_UpdateTexture) \
  REQ(SDL_LockTexture) REQ(SDL_UnlockTexture) REQ(SDL_QueryTexture) \
  REQ(SDL_CreateMutex) REQ(SDL_LockMutex) REQ(SDL_UnlockMutex) REQ(SDL_DestroyMutex) \
  REQ(SDL_CreateCond) REQ(SDL_DestroyCond) REQ(SDL_CondSignal) REQ(SDL_CondBroadcast) \
  REQ(SDL_CondWait) REQ(SDL_CondWaitTimeout) \
  REQ(SDL_CreateThread) REQ(SDL_WaitThread) REQ(SDL_DetachThread) OPT(SDL_TLSCleanup)
// clang-format on

namespace media {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#define KESTROVA_SLOT(name) decltype(&::name) name = nullptr;
#define KESTROVA_GONE_SLOT(name, type) std::add_pointer_t<type> name = nullptr;

// One typed slot per entry point; null until its library is bound, and set back
// to null when it is unbound.
struct EntryPoints {
  KESTROVA_AVUTIL_ENTRY_POINTS(KESTROVA_SLOT, KESTROVA_SLOT, KESTROVA_GONE_SLOT)
  KESTROVA_SWRESAMPLE_ENTRY_POINTS(KESTROVA_SLOT, KESTROVA_SLOT, KESTROVA_GONE_SLOT)
  KESTROVA_SWSCALE_ENTRY_POINTS(KESTROVA_SLOT, KESTROVA_SLOT, KESTROVA_GONE_SLOT)
  KESTROVA_AVCODEC_ENTRY_POINTS(KESTROVA_SLOT, KESTROVA_SLOT, KESTROVA_GONE_SLOT)
  KESTROVA_AVFORMAT_ENTRY_POINTS(KESTROVA_SLOT, KESTROVA_SLOT, KESTROVA_GONE_SLOT)
  KESTROVA_AVFILTER_ENTRY_POINTS(KESTROVA_SLOT, KESTROVA_SLOT, KESTROVA_GONE_SLOT)
  KESTROVA_AVDEVICE_ENTRY_POINTS(KESTROVA_SLOT, KESTROVA_SLOT, KESTROVA_GONE_SLOT)
  KESTROVA_SDL_ENTRY_POINTS(KESTROVA_SLOT, KESTROVA_SLOT, KESTROVA_GONE_SLOT)
};

#undef KESTROVA_SLOT
#undef KESTROVA_GONE_SLOT
#pragma GCC diagnostic pop

// The process-wide table the loader fills.
EntryPoints& Av();

}  // namespace media
