target_sources(zelk_codecs PRIVATE
)
