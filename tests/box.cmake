# The board cases are read into words on this machine (box/case-words), for the box and for
# avrig-sim alike, so a wrong reading shows on neither side: checked here, in every build.
# A `--` ends the +directives, and the tool gets the words after it.
add_test(NAME box.case_words_end_of_directives
  COMMAND ${PROJECT_SOURCE_DIR}/box/case-words host ${PROJECT_SOURCE_DIR}/box/cases/cases plus-argument)
set_tests_properties(box.case_words_end_of_directives PROPERTIES
  PASS_REGULAR_EXPRESSION "\nset -- '\\+7' '1' '-a' '2'\n$")
