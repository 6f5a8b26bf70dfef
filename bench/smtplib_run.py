"""The peer of the bulk mail benchmark: Python's smtplib sends the same messages over one
connection, one RSET, MAIL, RCPT and DATA each, as the program's send run does.

Usage: smtplib_run.py PORT MESSAGE_FILE RECIPIENT... ; prints the seconds taken from
connecting to QUIT, then the CPU seconds the process spent in that time."""
import smtplib
import sys
import time


def main():
    port = int(sys.argv[1])
    with open(sys.argv[2], "rb") as f:
        message = f.read()
    recipients = sys.argv[3:]
    start = time.perf_counter()
    cpu = time.process_time()
    smtp = smtplib.SMTP("127.0.0.1", port)
    smtp.login("mailer", "secret")
    for to in recipients:
        smtp.rset()
        smtp.sendmail("sender@example.com", [to], message)
    smtp.quit()
    print(time.perf_counter() - start, time.process_time() - cpu)


main()
