# cmake -DCLASSES_JAR= -DLIBRARY= -DCLASSIFIER_DIR= -DSTAGE= -DJAR_TOOL= -DOUTPUT= -P AssembleJar.cmake
# vantorel.jar: the classes jar plus, under quillmere/posewarden/native/, the library, the face
# classifier and files.txt, the list of what HeadPoseTracker extracts.
foreach(argument CLASSES_JAR LIBRARY CLASSIFIER_DIR STAGE JAR_TOOL OUTPUT)
  if(NOT DEFINED ${argument})
    message(FATAL_ERROR "AssembleJar.cmake: ${argument} not given")
  endif()
endforeach()

set(native ${STAGE}/quillmere/posewarden/native)
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${native}/classifier)
file(COPY ${LIBRARY} DESTINATION ${native})
file(COPY ${CLASSIFIER_DIR}/ DESTINATION ${native}/classifier)

get_filename_component(library_name ${LIBRARY} NAME)
file(GLOB classifier_files RELATIVE ${CLASSIFIER_DIR} ${CLASSIFIER_DIR}/*)
list(SORT classifier_files)
set(index "${library_name}\n")
foreach(name ${classifier_files})
  string(APPEND index "classifier/${name}\n")
endforeach()
file(WRITE ${native}/files.txt "${index}")

file(COPY_FILE ${CLASSES_JAR} ${OUTPUT}.partial)
execute_process(COMMAND ${JAR_TOOL} --update --file ${OUTPUT}.partial -C ${STAGE} . RESULT_VARIABLE failed)
if(failed)
  file(REMOVE ${OUTPUT}.partial)
  message(FATAL_ERROR "AssembleJar.cmake: jar --update failed")
endif()
file(RENAME ${OUTPUT}.partial ${OUTPUT})
