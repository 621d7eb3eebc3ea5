#!/usr/bin/python3
"""An independent client for the database tests (pymongo): seeds collections
and reads back what the server holds.

  mongo_peer.py URI seed DB COLLECTION JSON   replace the collection's documents
                                              (extended JSON: $numberLong, $date, $oid, ...)
  mongo_peer.py URI dump DB COLLECTION        the documents sorted by _id, one per line
  mongo_peer.py URI aggregate DB COLLECTION PIPELINE
"""
import sys

import pymongo
from bson import json_util


def main():
    uri, command, database, collection = sys.argv[1:5]
    client = pymongo.MongoClient(uri, serverSelectionTimeoutMS=5000)
    target = client[database][collection]
    if command == "seed":
        target.drop()
        documents = json_util.loads(sys.argv[5])
        if documents:
            target.insert_many(documents)
    elif command == "dump":
        for document in target.find().sort("_id", 1):
            print(json_util.dumps(document, sort_keys=True))
    elif command == "aggregate":
        for document in target.aggregate(json_util.loads(sys.argv[5])):
            print(json_util.dumps(document, sort_keys=True))
    else:
        sys.exit("unknown command " + command)


if __name__ == "__main__":
    main()
