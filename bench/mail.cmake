# A 1000-line bulk mail run against the loopback stand-in SMTP service, beside Python's
# smtplib sending the same messages.
add_executable(bench_mail ${CMAKE_CURRENT_LIST_DIR}/MailBench.cpp)
target_link_libraries(bench_mail PRIVATE kaldrani_core kaldrani_standin_lib benchmark::benchmark)
target_compile_definitions(bench_mail PRIVATE KALDRANI_SMTPLIB_RUN="${CMAKE_CURRENT_LIST_DIR}/smtplib_run.py")
