// Binary form: the loader and writer are connected once the serializer is available.
#include "El/ParamFile/paramFile.h"
void ParamTransferValue(SerializeBinStream&, ParamFileContext&, RefString&, ParamRawValue&) {}
void ParamTransferValue(SerializeBinStream&, ParamFileContext&, RefString&, ParamRawValueExpression&) {}
void ParamTransferValue(SerializeBinStream&, ParamFileContext&, RefString&, ParamRawValueInt&) {}
void ParamTransferValue(SerializeBinStream&, ParamFileContext&, RefString&, ParamRawValueFloat&) {}
bool ParamTransferPayload(SerializeBinStream&, ParamFileContext&, ParamRawValue&) { return true; }
bool ParamTransferPayload(SerializeBinStream&, ParamFileContext&, ParamRawValueInt&) { return true; }
bool ParamTransferPayload(SerializeBinStream&, ParamFileContext&, ParamRawValueFloat&) { return true; }
bool ParamArrayValueArray::SerializeBin(SerializeBinStream&, ParamFileContext&, int) { return true; }
void ParamArray::SerializeBin(SerializeBinStream&, ParamFileContext&) {}
void ParamClass::SerializeBin(SerializeBinStream&, ParamFileContext&) {}
void ParamClassPlaceholder::SerializeBin(SerializeBinStream&, ParamFileContext&) {}
bool ParamClassOwnerFilename::LoadClass(ParamClass&) { return false; }
int ParamFile::ParseBin(QIStream&, IParamClassSource*, Evaluator*) { return 0; }
int ParamFile::ParseBin(const char*, IParamClassSource*, Evaluator*) { return 0; }
bool ParamFile::SaveBin(const char*) { return false; }
bool ParamFile::SaveBin(QOStream&) { return false; }
