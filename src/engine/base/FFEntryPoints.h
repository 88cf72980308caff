// The entry points of each media library that the engine calls, listed once.
// Every name must be exported by the loaded library: binding is all-or-nothing per
// library. Grow a list when engine code starts calling a new function, and only then.
#pragma once

#define VX_AVCODEC_ENTRY_POINTS(X)                                                                           \
    X(av_bsf_alloc)                                                                                          \
    X(av_bsf_free)                                                                                           \
    X(av_bsf_get_by_name)                                                                                    \
    X(av_bsf_init)                                                                                           \
    X(av_bsf_receive_packet)                                                                                 \
    X(av_bsf_send_packet)                                                                                    \
    X(av_codec_iterate)                                                                                      \
    X(av_new_packet)                                                                                         \
    X(av_packet_alloc)                                                                                       \
    X(av_packet_free)                                                                                        \
    X(av_packet_get_side_data)                                                                               \
    X(av_packet_make_refcounted)                                                                             \
    X(av_packet_move_ref)                                                                                    \
    X(av_packet_ref)                                                                                         \
    X(av_packet_rescale_ts)                                                                                  \
    X(av_packet_unref)                                                                                       \
    X(avcodec_alloc_context3)                                                                                \
    X(avcodec_decode_subtitle2)                                                                              \
    X(avcodec_descriptor_get)                                                                                \
    X(avcodec_encode_subtitle)                                                                               \
    X(avcodec_find_decoder)                                                                                  \
    X(avcodec_find_decoder_by_name)                                                                          \
    X(avcodec_find_encoder)                                                                                  \
    X(avcodec_find_encoder_by_name)                                                                          \
    X(avcodec_flush_buffers)                                                                                 \
    X(avcodec_free_context)                                                                                  \
    X(avcodec_get_class)                                                                                     \
    X(avcodec_get_name)                                                                                      \
    X(avcodec_license)                                                                                       \
    X(avcodec_open2)                                                                                         \
    X(avcodec_parameters_copy)                                                                               \
    X(avcodec_parameters_from_context)                                                                       \
    X(avcodec_parameters_to_context)                                                                         \
    X(avcodec_receive_frame)                                                                                 \
    X(avcodec_receive_packet)                                                                                \
    X(avcodec_send_frame)                                                                                    \
    X(avcodec_send_packet)                                                                                   \
    X(avcodec_string)                                                                                        \
    X(avcodec_version)                                                                                       \
    X(avsubtitle_free)

#define VX_AVDEVICE_ENTRY_POINTS(X)                                                                          \
    X(avdevice_license)                                                                                      \
    X(avdevice_register_all)                                                                                 \
    X(avdevice_version)

#define VX_AVFILTER_ENTRY_POINTS(X)                                                                          \
    X(av_buffersink_get_format)                                                                              \
    X(av_buffersink_get_frame)                                                                               \
    X(av_buffersink_get_h)                                                                                   \
    X(av_buffersink_get_sample_aspect_ratio)                                                                 \
    X(av_buffersink_get_time_base)                                                                           \
    X(av_buffersink_get_w)                                                                                   \
    X(av_buffersrc_add_frame_flags)                                                                          \
    X(avfilter_get_by_name)                                                                                  \
    X(avfilter_graph_alloc)                                                                                  \
    X(avfilter_graph_alloc_filter)                                                                           \
    X(avfilter_graph_config)                                                                                 \
    X(avfilter_graph_create_filter)                                                                          \
    X(avfilter_graph_free)                                                                                   \
    X(avfilter_graph_parse_ptr)                                                                              \
    X(avfilter_init_str)                                                                                     \
    X(avfilter_inout_alloc)                                                                                  \
    X(avfilter_inout_free)                                                                                   \
    X(avfilter_license)                                                                                      \
    X(avfilter_link)                                                                                         \
    X(avfilter_version)

#define VX_AVFORMAT_ENTRY_POINTS(X)                                                                          \
    X(av_codec_get_id)                                                                                       \
    X(av_codec_get_tag)                                                                                      \
    X(av_demuxer_iterate)                                                                                    \
    X(av_dump_format)                                                                                        \
    X(av_filename_number_test)                                                                               \
    X(av_find_best_stream)                                                                                   \
    X(av_find_input_format)                                                                                  \
    X(av_guess_codec)                                                                                        \
    X(av_interleaved_write_frame)                                                                            \
    X(av_muxer_iterate)                                                                                      \
    X(av_pkt_dump_log2)                                                                                      \
    X(av_read_frame)                                                                                         \
    X(av_read_pause)                                                                                         \
    X(av_read_play)                                                                                          \
    X(av_sdp_create)                                                                                         \
    X(av_seek_frame)                                                                                         \
    X(av_stream_new_side_data)                                                                               \
    X(av_write_trailer)                                                                                      \
    X(avformat_alloc_context)                                                                                \
    X(avformat_alloc_output_context2)                                                                        \
    X(avformat_close_input)                                                                                  \
    X(avformat_find_stream_info)                                                                             \
    X(avformat_free_context)                                                                                 \
    X(avformat_get_class)                                                                                    \
    X(avformat_license)                                                                                      \
    X(avformat_new_stream)                                                                                   \
    X(avformat_open_input)                                                                                   \
    X(avformat_query_codec)                                                                                  \
    X(avformat_seek_file)                                                                                    \
    X(avformat_version)                                                                                      \
    X(avformat_write_header)                                                                                 \
    X(avio_alloc_context)                                                                                    \
    X(avio_closep)                                                                                           \
    X(avio_context_free)                                                                                     \
    X(avio_find_protocol_name)                                                                               \
    X(avio_flush)                                                                                            \
    X(avio_open2)                                                                                            \
    X(avio_seek)                                                                                             \
    X(avio_size)

#define VX_AVUTIL_ENTRY_POINTS(X)                                                                            \
    X(av_audio_fifo_alloc)                                                                                   \
    X(av_audio_fifo_free)                                                                                    \
    X(av_audio_fifo_read)                                                                                    \
    X(av_audio_fifo_size)                                                                                    \
    X(av_audio_fifo_write)                                                                                   \
    X(av_channel_layout_compare)                                                                             \
    X(av_channel_layout_copy)                                                                                \
    X(av_channel_layout_default)                                                                             \
    X(av_channel_layout_from_mask)                                                                           \
    X(av_channel_layout_uninit)                                                                              \
    X(av_compare_ts)                                                                                         \
    X(av_d2q)                                                                                                \
    X(av_dict_copy)                                                                                          \
    X(av_dict_count)                                                                                         \
    X(av_dict_free)                                                                                          \
    X(av_dict_get)                                                                                           \
    X(av_dict_set)                                                                                           \
    X(av_dynarray_add)                                                                                       \
    X(av_dynarray_add_nofree)                                                                                \
    X(av_find_nearest_q_idx)                                                                                 \
    X(av_frame_alloc)                                                                                        \
    X(av_frame_clone)                                                                                        \
    X(av_frame_copy_props)                                                                                   \
    X(av_frame_free)                                                                                         \
    X(av_frame_get_buffer)                                                                                   \
    X(av_frame_is_writable)                                                                                  \
    X(av_frame_make_writable)                                                                                \
    X(av_frame_move_ref)                                                                                     \
    X(av_frame_ref)                                                                                          \
    X(av_frame_unref)                                                                                        \
    X(av_free)                                                                                               \
    X(av_get_bytes_per_sample)                                                                               \
    X(av_get_packed_sample_fmt)                                                                              \
    X(av_get_picture_type_char)                                                                              \
    X(av_get_pix_fmt)                                                                                        \
    X(av_get_pix_fmt_name)                                                                                   \
    X(av_get_pix_fmt_string)                                                                                 \
    X(av_get_sample_fmt)                                                                                     \
    X(av_get_sample_fmt_name)                                                                                \
    X(av_get_sample_fmt_string)                                                                              \
    X(av_image_copy)                                                                                         \
    X(av_image_fill_arrays)                                                                                  \
    X(av_image_get_buffer_size)                                                                              \
    X(av_log)                                                                                                \
    X(av_log_set_callback)                                                                                   \
    X(av_log_set_level)                                                                                      \
    X(av_malloc)                                                                                             \
    X(av_mallocz)                                                                                            \
    X(av_opt_find)                                                                                           \
    X(av_opt_get)                                                                                            \
    X(av_opt_get_int)                                                                                        \
    X(av_opt_set)                                                                                            \
    X(av_opt_set_bin)                                                                                        \
    X(av_opt_set_defaults2)                                                                                  \
    X(av_opt_set_int)                                                                                        \
    X(av_parse_time)                                                                                         \
    X(av_parse_video_rate)                                                                                   \
    X(av_parse_video_size)                                                                                   \
    X(av_pix_fmt_desc_get)                                                                                   \
    X(av_reduce)                                                                                             \
    X(av_rescale)                                                                                            \
    X(av_rescale_q)                                                                                          \
    X(av_sample_fmt_is_planar)                                                                               \
    X(av_samples_set_silence)                                                                                \
    X(av_strdup)                                                                                             \
    X(av_strerror)                                                                                           \
    X(av_tx_init)                                                                                            \
    X(av_tx_uninit)                                                                                          \
    X(av_version_info)                                                                                       \
    X(avutil_license)                                                                                        \
    X(avutil_version)

// Exported data items of the utility library; this generation needs none, but the
// binder keeps the rule and text for them.
#define VX_AVUTIL_VARIABLES(X)

#define VX_SWSCALE_ENTRY_POINTS(X)                                                                           \
    X(sws_freeContext)                                                                                       \
    X(sws_get_class)                                                                                         \
    X(sws_getCachedContext)                                                                                  \
    X(sws_getContext)                                                                                        \
    X(sws_scale)                                                                                             \
    X(swscale_license)                                                                                       \
    X(swscale_version)

#define VX_SWRESAMPLE_ENTRY_POINTS(X)                                                                        \
    X(swr_alloc_set_opts2)                                                                                   \
    X(swr_convert)                                                                                           \
    X(swr_free)                                                                                              \
    X(swr_get_delay)                                                                                         \
    X(swr_get_out_samples)                                                                                   \
    X(swr_init)                                                                                              \
    X(swr_set_compensation)                                                                                  \
    X(swresample_license)                                                                                    \
    X(swresample_version)

// The C library: the file-descriptor calls behind the engine's own "unicode:" I/O.
#define VX_MYUTIL_ENTRY_POINTS(X)                                                                            \
    X(open)                                                                                                  \
    X(read)                                                                                                  \
    X(write)                                                                                                 \
    X(lseek)                                                                                                 \
    X(fstat)                                                                                                 \
    X(close)
