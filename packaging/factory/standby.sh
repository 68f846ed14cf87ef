#!/bin/sh
# A hot standby of a factory's records server, for the dashboards and the reports: it follows
# the primary by streaming replication and answers reads only, so reports never load the server
# the stations write to. Run as root on the standby's host, whose Debian cluster 15/main is new
# and holds nothing yet. The primary needs a user with REPLICATION and a pg_hba.conf line
# "host replication replicator STANDBY_ADDRESS/32 scram-sha-256"; the password comes from
# ~postgres/.pgpass.
set -e
pg_ctlcluster 15 main stop && rm -rf /var/lib/postgresql/15/main

# The two commands: copy the primary, with the settings to follow it (-R), then start.
runuser -u postgres -- pg_basebackup -h db1.factory.example -U replicator \
  -D /var/lib/postgresql/15/main -R -X stream -P
pg_ctlcluster 15 main start
