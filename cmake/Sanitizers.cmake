if(ZELK_SANITIZE)
  # float-cast-overflow is not part of "undefined" but guards every float-to-int
  # conversion of coordinates, which hostile metafiles and print sizes can push far out.
  set(ZELK_SANITIZERS address,undefined,float-cast-overflow)
  add_compile_options(-fsanitize=${ZELK_SANITIZERS} -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined,float-cast-overflow)
  add_link_options(-fsanitize=${ZELK_SANITIZERS})
endif()
