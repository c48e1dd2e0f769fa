# Copies SOURCE to DESTINATION when SOURCE exists and differs; does nothing
# otherwise, so a build works before the file has been made.
if(EXISTS "${SOURCE}")
  get_filename_component(folder "${DESTINATION}" DIRECTORY)
  file(MAKE_DIRECTORY "${folder}")
  file(COPY_FILE "${SOURCE}" "${DESTINATION}" ONLY_IF_DIFFERENT)
endif()
